#pragma once
// Some cameras write their EXIF make or model in another form than the lens database stores: padded
// with blanks, or (one database model) with a stray byte. These are the known cases, in one table
// that the lens choice, the parameters sheet and the database loader all read.
#include <string>

namespace lens::cameras {

// A make as the lens choice compares it: RICOH padded to 11 characters, Canon with one trailing
// blank, each only when the plain form does not match the photo's make. With `always` (the
// variant that only wants the crop multiplier) RICOH is padded even when the plain form matches,
// and Canon is left alone.
std::string exifMakeForm(const std::string& recordMake, const std::string& photoMake, bool always);

// A database model as the lens choice compares it: a known model of the make in use, padded with
// blanks to 15 characters; every other model as it is.
std::string exifModelForm(const std::string& makeInUse, const std::string& model);

// The database's form of a photo's EXIF model: a padded known model of its make loses its blanks;
// every other model stays as it is.
std::string databaseModelForm(const std::string& exifMake, const std::string& exifModel);

// A model as read from a database file, with the one known stray byte removed.
std::string repairedStoredModel(const std::string& model);

}  // namespace lens::cameras
