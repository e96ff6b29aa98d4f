#include "host/FileHost.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>

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
        std::error_code failed;
        // A copy a former session made is the version's edit so far: it is kept, not replaced.
        if (!fs::exists(copy, failed)) fs::copy_file(pathOf(version), copy, failed);
        if (failed || !fs::is_regular_file(copy, failed)) continue;
        made.push_back({{kExportKeyUniqueID, editableName(version)}, {"kExportKeyVersionName", version}});
    }
    return made;
}

std::string FileHost::pathOfEditableFileForVersion(const VersionId& version) {
    m_log.record("pathOfEditableFileForVersion " + version);
    std::error_code failed;
    if (!isEditableName(version) || version.find('/') != std::string::npos || !fs::is_regular_file(pathOf(version), failed))
        return {};
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
