#pragma once
// A host for tests: it answers the plug-in's calls with what the test set up, and records every
// call. Offering no edit manager, an empty selection, no editable version or no path are all
// set up by leaving the answer empty.
#include <map>

#include "host/ApertureEditManager.h"
#include "host/HostCallLog.h"

namespace qv::host {

class RecordingEditManager : public ApertureEditManager, public PROAPIAccessing {
public:
    std::vector<VersionId> selected;               // selectedVersionIds
    std::vector<VersionProperties> editable;       // editableVersionsOfVersions
    std::map<VersionId, std::string> editablePaths;  // pathOfEditableFileForVersion
    Frame hostWindow{100, 50, 1000, 800};
    bool offersEditManager = true;
    HostCallLog log;

    // Sets up one selected version whose editable version "<id>-edit" has the file at path.
    void selectOne(const VersionId& id, const std::string& path);

    ApertureEditManager* apiForProtocol(const std::string& protocol) override;
    std::vector<VersionId> selectedVersionIds() override;
    std::vector<VersionProperties> editableVersionsOfVersions(const std::vector<VersionId>& versions,
                                                              bool stackWithOriginal) override;
    std::string pathOfEditableFileForVersion(const VersionId& version) override;
    Frame apertureWindow() override;
    void endEditSession() override;
    void cancelEditSession() override;
};

}  // namespace qv::host
