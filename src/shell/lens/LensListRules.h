#pragma once
// Rules over lists of lens records that the parameters sheet, its table and the lens choice share:
// a record's name, the repeated entries a list drops, and the scaling and interpolation of a user
// record's coefficients between two focal lengths.
#include <string>

#include "foundation/Value.h"

namespace shell {

// The record's "3.Lens Name" as text (empty when it has none).
std::string lensName(const qv::Value& record);

// The record's focal range as the main window shows it: "MIN - MAX".
std::string focalRangeText(const qv::Value& record);

// Whether the record is a resource-database lens (one the loader listed, with its lens group)
// rather than a user database's record.
bool isResourceLensRecord(const qv::Value& record);

// Keeps the first of the records that share a name and a lens group, in list order.
void removeMultipleEntriesFrom(qv::Array& lenses);
// Whether at least two records of the list have the name.
bool multipleEntriesOf(const std::string& name, const qv::Array& lenses);

// The record with its focal length and red coefficients multiplied by the ratio; numbers spelled
// out as text count as those numbers.
qv::Value scaleDatabaseValuesForUpRecord(const qv::Value& record, double ratio);
// The record above with its red coefficients interpolated linearly between the record below
// (bottom) and it at the focal length; the upper record unchanged when either is missing or the
// focal lengths are too close to tell apart.
qv::Value InterpolateLensDBWithUpDB(const qv::Value& up, const qv::Value& bottom, double focalLength);

}  // namespace shell
