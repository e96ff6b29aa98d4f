#include "host/FileHost.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

namespace qv::host {

namespace fs = std::filesystem;

namespace {

constexpr const char* kEditableSuffix = " (editable)";

// The extensions of the photo files a library holds.
bool isPhotoName(const std::string& name) {
    static const std::array<const char*, 13> extensions = {".jpg", ".jpeg", ".tif", ".tiff", ".png", ".exr", ".psd",
                                                           ".cr2", ".nef", ".arw", ".dng", ".orf", ".raf"};
    std::string extension = fs::path(name).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return std::find(extensions.begin(), extensions.end(), extension) != extensions.end();
}

// A regular file of its own at the path: not a link, whatever it leads to, nor anything else.
bool isRegularFileItself(const std::string& path) {
    std::error_code failed;
    return fs::symlink_status(path, failed).type() == fs::file_type::regular;
}

bool nothingAt(const std::string& path) {
    std::error_code failed;
    return fs::symlink_status(path, failed).type() == fs::file_type::not_found;
}

// Copies the photo to the editable name through a temporary file beside it, moved into place only
// once whole and only while the name is free: a copy cut short (a full disk, a file-size limit) is
// removed rather than left to pass for an edit.
bool copyIntoPlace(const std::string& from, const std::string& to) {
    std::string temporary = (fs::path(to).parent_path() / ".editable-XXXXXX").string();
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return false;
    ::close(fd);
    std::error_code failed;
    const bool copied = fs::copy_file(from, temporary, fs::copy_options::overwrite_existing, failed) && !failed;
    const bool placed = copied && ::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
    if (!placed) ::unlink(temporary.c_str());
    return placed;
}

}  // namespace

FileHost::FileHost(std::string libraryFolder, Frame window) : m_folder(std::move(libraryFolder)), m_window(window) {}

std::string FileHost::pathOf(const std::string& name) const { return (fs::path(m_folder) / name).string(); }

std::string FileHost::editableName(const VersionId& version) {
    const fs::path path(version);
    return path.stem().string() + kEditableSuffix + path.extension().string();
}

bool FileHost::isEditableName(const std::string& name) {
    const std::string stem = fs::path(name).stem().string();
    const std::string suffix = kEditableSuffix;
    return stem.size() > suffix.size() && stem.compare(stem.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::vector<VersionId> FileHost::versions() const {
    std::vector<VersionId> found;
    std::error_code failed;
    for (fs::directory_iterator it(m_folder, failed), end; !failed && it != end; it.increment(failed)) {
        const std::string name = it->path().filename().string();
        if (it->is_regular_file(failed) && isPhotoName(name) && !isEditableName(name)) found.push_back(name);
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::vector<std::string> FileHost::select(const std::vector<std::string>& names) {
    const std::vector<VersionId> known = versions();
    std::vector<std::string> unknown;
    for (const std::string& name : names)
        if (std::find(known.begin(), known.end(), name) == known.end()) unknown.push_back(name);
    m_selected = unknown.empty() ? names : std::vector<VersionId>();
    return unknown;
}

ApertureEditManager* FileHost::apiForProtocol(const std::string& protocol) {
    m_log.record("apiForProtocol " + protocol);
    return protocol == kApertureEditManagerProtocol ? this : nullptr;
}

std::vector<VersionId> FileHost::selectedVersionIds() {
    m_log.record("selectedVersionIds");
    return m_selected;
}

std::vector<VersionProperties> FileHost::editableVersionsOfVersions(const std::vector<VersionId>& versions,
                                                                    bool stackWithOriginal) {
    m_log.record("editableVersionsOfVersions " + listText(versions) + (stackWithOriginal ? " stacked" : ""));
    const std::vector<VersionId> known = this->versions();
    std::vector<VersionProperties> made;
    for (const VersionId& version : versions) {
        if (std::find(known.begin(), known.end(), version) == known.end()) continue;
        const std::string copy = pathOf(editableName(version));
        // A copy a former session made is the version's edit so far: it is kept, not replaced. Only
        // a regular file is an editable copy: a link there (to the original, say) would have the
        // edit written through it, so the version has no editable copy then.
        if (nothingAt(copy) && !copyIntoPlace(pathOf(version), copy)) continue;
        if (!isRegularFileItself(copy)) continue;
        made.push_back({{kExportKeyUniqueID, editableName(version)}, {"kExportKeyVersionName", version}});
    }
    return made;
}

std::string FileHost::pathOfEditableFileForVersion(const VersionId& version) {
    m_log.record("pathOfEditableFileForVersion " + version);
    if (!isEditableName(version) || version.find('/') != std::string::npos || !isRegularFileItself(pathOf(version)))
        return {};
    std::error_code failed;
    return fs::absolute(pathOf(version), failed).lexically_normal().string();
}

Frame FileHost::apertureWindow() {
    m_log.record("apertureWindow");
    return m_window;
}

void FileHost::endEditSession() {
    m_log.record("endEditSession");
    m_state = "ended";
}

void FileHost::cancelEditSession() {
    m_log.record("cancelEditSession");
    m_state = "cancelled";
}

}  // namespace qv::host
