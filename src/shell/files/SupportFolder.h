#pragma once
// The support folder's housekeeping, the files the open step works with (the working copy, the
// photo's extracted profile) and the one rule that tells the two kinds of lens database apart.
#include <string>

namespace shell {

// Removes every entry of the support folder whose extension is not exactly "dat" (case-sensitive).
// Entries without an extension go too, unless the caller keeps them (the unwrap command's sweep
// does, for the files it works with). Removal failures are ignored. Not recursive.
void sweepSupportFolder(bool keepEntriesWithoutExtension = false);

// Whether a file at `path` would lie in the support folder (links and ".." in its folder followed),
// where the sweeps would remove it: presets and databases are never saved there.
bool isInSupportFolder(const std::string& path);

// The localized key of the message that asks for another folder than the support folder.
inline constexpr const char* kSupportFolderRefusedKey = "SupportFolderSaveMessage";

// A user lens database is a property-list file with the extension "dtl"; every other database
// file is read as a resource database.
bool isUserDatabasePath(const std::string& path);

// The working copy the preview shows: "QuorvelCI.jpg" in the temporary folder.
std::string workingCopyPath();

// Extracts the photo's colour profile into the support folder's "Profile" (any thread; the open
// step runs it on a thread of its own).
void performSipsCommand(const std::string& photo);

// The name the resource database has in the support folder.
inline constexpr const char* kResourceDatabaseFileName = "PTLens.dat";

}  // namespace shell
