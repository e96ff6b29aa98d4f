#pragma once
// The sources of a batch run: the files and folders the user added, one sub-folder flag each, and
// the photo files they expand to when a run starts.
#include <array>
#include <string>
#include <vector>

namespace batch {

// The photo extensions a batch knows, in the open panel's order.
extern const std::array<const char*, 21> kImageExtensions;
// Whether the path's extension, in any letter case, is one of them.
bool hasImageExtension(const std::string& path);

// What a drop may add: each existing folder, and each path with a photo extension, in order (a
// folder whose name ends in a photo extension is kept twice).
std::vector<std::string> validImageFilesFromArray(const std::vector<std::string>& paths);

struct SourceList {
    std::vector<std::string> sources;  // as the user added them
    std::vector<bool> subFolders;      // one per source: include the folder's sub-folders

    void add(const std::vector<std::string>& paths);  // each with its flag off
    void remove(int row);                             // nothing for a row outside the list
    bool isFolderRow(int row) const;
    std::size_t size() const { return sources.size(); }
};

// The run's files: a plain file source as it is (whatever its extension); a folder's photo files,
// at every depth with its flag on, else its own entries only, in listing order.
std::vector<std::string> readFilesFromSources(const SourceList& list);

}  // namespace batch
