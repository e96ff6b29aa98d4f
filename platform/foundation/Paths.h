#pragma once
// Where things live, and path strings taken apart and put together the way the platform's path
// methods do it (runs of slashes count as one, a trailing slash is ignored).
#include <optional>
#include <string>
#include <string_view>

namespace qv::paths {

// The home folder: $HOME, read at every call (each test case has its own), else the account's.
std::string homeFolder();
// home + "/Library/Application Support/Zentu" (no trailing slash): the folder named after the maker.
std::string makerFolder();
// home + "/Library/Application Support/Zentu/QuorvelCI/", ending in a slash as callers append names.
std::string supportFolder();
// home + "/Library/Preferences/com.ZentuDigital.QuorvelCI.plist".
std::string preferencesFile();
// A folder of this user's own (mode 0700) for temporary files, created the first time it is asked
// for under the current home folder and again should it vanish. Ends in a slash. It holds copies of
// the user's photos, so it goes when the process ends normally (the folders of every home it made);
// sweepStaleTemporaryFolders() takes those of processes that ended otherwise.
std::string temporaryFolder();
// Removes this user's temporary folders that no running process holds: left by a crash, a kill or
// an older version. Folders of other users, and links, are never touched.
void sweepStaleTemporaryFolders();

// "/tmp/scratch.tiff" -> "scratch.tiff"; "/tmp/" -> "tmp"; "/" -> "/"; "" -> "".
std::string lastPathComponent(std::string_view path);
// "/tmp/scratch.tiff" -> "tiff"; ".profile" -> ""; "/tmp/" -> ""; "a." -> "".
std::string pathExtension(std::string_view path);
// "/tmp/scratch.tiff" -> "/tmp"; "/tmp" -> "/"; "scratch" -> ""; "/" -> "/".
std::string deletingLastPathComponent(std::string_view path);
// "/tmp/scratch.tiff" -> "/tmp/scratch"; "/tmp/.profile" -> "/tmp/.profile".
std::string deletingPathExtension(std::string_view path);
// "/tmp" + "scratch.tiff" -> "/tmp/scratch.tiff"; "/tmp/" + "/x" -> "/tmp/x"; "" + "x" -> "x".
std::string appendingPathComponent(std::string_view path, std::string_view component);
// "/tmp/scratch" + "tiff" -> "/tmp/scratch.tiff"; nothing for "" or "/" or an extension that
// begins with a slash.
std::optional<std::string> appendingPathExtension(std::string_view path, std::string_view extension);

}  // namespace qv::paths
