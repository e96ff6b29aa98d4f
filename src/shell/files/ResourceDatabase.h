#pragma once
// Installing the resource lens database that ships in the bundle into the support folder, and
// replacing an installed copy with a newer one.
#include <optional>
#include <string>

namespace shell {

struct ResourceDatabaseInstall {
    bool usable = false;   // the support folder is there (made now if need be) and is a folder
    bool existed = false;  // a copy was installed before this start
};

// The installed copy: support folder + "PTLens.dat".
std::string installedDatabasePath();

// Makes the maker folder and the support folder when they are missing and copies the bundle's
// database in when none is installed. A file standing where a folder should be, or a folder that
// cannot be made, leaves the folder unusable. A failed copy is not reported (start-up then finds
// no database and asks for one).
ResourceDatabaseInstall installResourceDatabase(const std::optional<std::string>& bundled);

// Whether the bundle's copy was modified later than the installed one.
bool bundledDatabaseIsNewer(const std::string& bundled, const std::string& installed);

// Replaces the installed copy with the bundle's, as a user's file is written (files::writeWhole): a
// failed copy leaves the installed database whole, one the user may not write is left as it was, and
// a link is written through. The copy keeps the bundle's modification date.
bool replaceInstalledDatabase(const std::string& bundled, const std::string& installed);

}  // namespace shell
