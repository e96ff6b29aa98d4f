#pragma once
// A photo-library host whose library is a folder of photos. Each photo file is a version, named by
// its file name. Making a version editable copies the photo to "<name> (editable).<ext>" beside it
// (or takes the copy a former session made), and only that copy is ever handed out for writing:
// the original is never edited. The copy must be a regular file of its own: a link under its name
// (to the original or anywhere else) gives the version no editable copy. Every call is recorded.
#include "host/ApertureEditManager.h"
#include "host/HostCallLog.h"

namespace qv::host {

class FileHost : public ApertureEditManager, public PROAPIAccessing {
public:
    explicit FileHost(std::string libraryFolder, Frame window = {100, 50, 1000, 800});

    // The library's versions: its photo files (JPEG, TIFF, PNG, raw and the like) other than
    // editable copies, sorted by name.
    std::vector<VersionId> versions() const;
    // Selects versions by name; the unknown names when some are not in the library (nothing is
    // selected then).
    std::vector<std::string> select(const std::vector<std::string>& names);
    // The file name of a version's editable copy.
    static std::string editableName(const VersionId& version);
    static bool isEditableName(const std::string& name);

    ApertureEditManager* apiForProtocol(const std::string& protocol) override;
    std::vector<VersionId> selectedVersionIds() override;
    std::vector<VersionProperties> editableVersionsOfVersions(const std::vector<VersionId>& versions,
                                                              bool stackWithOriginal) override;
    std::string pathOfEditableFileForVersion(const VersionId& version) override;
    Frame apertureWindow() override;
    void endEditSession() override;
    void cancelEditSession() override;

    const HostCallLog& log() const { return m_log; }
    // How the last session ended: "ended", "cancelled", or "open".
    const std::string& sessionState() const { return m_state; }

private:
    std::string pathOf(const std::string& name) const;

    std::string m_folder;
    Frame m_window;
    std::vector<VersionId> m_selected;
    HostCallLog m_log;
    std::string m_state = "open";
};

}  // namespace qv::host
