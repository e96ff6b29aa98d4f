#include "shell/batch/BatchSources.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "foundation/Files.h"
#include "foundation/FolderListing.h"
#include "foundation/Paths.h"

namespace batch {

const std::array<const char*, 21> kImageExtensions = {
    "jpeg", "jpg", "tiff", "tif", "exr", "psd", "raw", "nef", "crw", "cr2", "mrw",
    "orf",  "raf", "pef",  "x3f", "dcr", "kdc", "srf", "arw", "dng", "ptx"};

bool hasImageExtension(const std::string& path) {
    std::string extension = qv::paths::pathExtension(path);
    for (char& c : extension) c = char(std::tolower(static_cast<unsigned char>(c)));
    return std::any_of(kImageExtensions.begin(), kImageExtensions.end(),
                       [&](const char* known) { return extension == known; });
}

std::vector<std::string> validImageFilesFromArray(const std::vector<std::string>& paths) {
    std::vector<std::string> kept;
    for (const std::string& path : paths) {
        if (qv::files::isFolder(path)) kept.push_back(path);
        if (hasImageExtension(path)) kept.push_back(path);
    }
    return kept;
}

void SourceList::add(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        sources.push_back(path);
        subFolders.push_back(false);
    }
}

void SourceList::remove(int row) {
    if (row < 0 || std::size_t(row) >= sources.size()) return;
    sources.erase(sources.begin() + row);
    if (std::size_t(row) < subFolders.size()) subFolders.erase(subFolders.begin() + row);
}

bool SourceList::isFolderRow(int row) const {
    return row >= 0 && std::size_t(row) < sources.size() && qv::files::isFolder(sources[std::size_t(row)]);
}

std::vector<std::string> readFilesFromSources(const SourceList& list) {
    std::vector<std::string> files;
    for (std::size_t i = 0; i < list.sources.size(); ++i) {
        const std::string& source = list.sources[i];
        if (!qv::files::isFolder(source)) {
            files.push_back(source);
            continue;
        }
        const bool deep = i < list.subFolders.size() && list.subFolders[i];
        const std::optional<std::vector<std::string>> entries =
            deep ? qv::files::subpathsOfFolder(source) : qv::files::listFolder(source);
        if (!entries) continue;
        const std::string folder = source.empty() || source.back() == '/' ? source : source + "/";
        for (const std::string& entry : *entries)
            if (hasImageExtension(entry)) files.push_back(folder + entry);
    }
    return files;
}

}  // namespace batch
