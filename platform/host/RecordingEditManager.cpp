#include "host/RecordingEditManager.h"

namespace qv::host {

void RecordingEditManager::selectOne(const VersionId& id, const std::string& path) {
    selected = {id};
    editable = {{{kExportKeyUniqueID, id + "-edit"}}};
    editablePaths = {{id + "-edit", path}};
}

ApertureEditManager* RecordingEditManager::apiForProtocol(const std::string& protocol) {
    log.record("apiForProtocol " + protocol);
    return offersEditManager && protocol == kApertureEditManagerProtocol ? this : nullptr;
}

std::vector<VersionId> RecordingEditManager::selectedVersionIds() {
    log.record("selectedVersionIds");
    return selected;
}

std::vector<VersionProperties> RecordingEditManager::editableVersionsOfVersions(const std::vector<VersionId>& versions,
                                                                                bool stackWithOriginal) {
    log.record("editableVersionsOfVersions " + listText(versions) + (stackWithOriginal ? " stacked" : ""));
    return editable;
}

std::string RecordingEditManager::pathOfEditableFileForVersion(const VersionId& version) {
    log.record("pathOfEditableFileForVersion " + version);
    const auto found = editablePaths.find(version);
    return found == editablePaths.end() ? std::string() : found->second;
}

Frame RecordingEditManager::apertureWindow() {
    log.record("apertureWindow");
    return hostWindow;
}

void RecordingEditManager::endEditSession() { log.record("endEditSession"); }
void RecordingEditManager::cancelEditSession() { log.record("cancelEditSession"); }

}  // namespace qv::host
