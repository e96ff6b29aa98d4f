#pragma once
// The photo-library host's side of an edit session, as the plug-in sees it: the API manager that
// hands out the edit manager, the edit manager the plug-in calls, the protocol the plug-in's
// principal class implements, and what the host may do with the plug-in's window. Only standard
// types cross these interfaces, so a host and a plug-in loaded at run time share nothing else.
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qv::host {

using VersionId = std::string;
// The description of one version: its identifier under kExportKeyUniqueID, and what else a host adds.
using VersionProperties = std::map<std::string, std::string>;

inline constexpr const char* kExportKeyUniqueID = "kExportKeyUniqueID";
// The protocol the plug-in asks the API manager for.
inline constexpr const char* kApertureEditManagerProtocol = "ApertureEditManager";

// A frame in screen coordinates (points, origin bottom-left).
struct Frame {
    double x = 0, y = 0, width = 0, height = 0;
};

// The edit manager of one host: an object with the protocols ApertureEditManager and PROAPIObject.
class ApertureEditManager {
public:
    virtual ~ApertureEditManager() = default;
    // The identifiers of the session's selected versions, in the host's order.
    virtual std::vector<VersionId> selectedVersionIds() = 0;
    // Makes the versions editable; one description per version made editable.
    virtual std::vector<VersionProperties> editableVersionsOfVersions(const std::vector<VersionId>& versions,
                                                                      bool stackWithOriginal) = 0;
    // The full path of the editable version's file; empty for a version that has none.
    virtual std::string pathOfEditableFileForVersion(const VersionId& version) = 0;
    // The frame of the host's window.
    virtual Frame apertureWindow() = 0;
    virtual void endEditSession() = 0;
    virtual void cancelEditSession() = 0;
};

// The API manager the host hands to the plug-in's creation.
class PROAPIAccessing {
public:
    virtual ~PROAPIAccessing() = default;
    // The object serving the protocol, or null when the host offers none.
    virtual ApertureEditManager* apiForProtocol(const std::string& protocol) = 0;
};

// The plug-in's window as the host (and a person at it) meets it: its frame, its controls by name,
// its Done and Cancel buttons, and the alerts it has shown.
class EditWindow {
public:
    virtual ~EditWindow() = default;
    virtual Frame frame() const = 0;
    // The controls setControl knows, with a line of help each.
    virtual std::vector<std::pair<std::string, std::string>> controls() const = 0;
    // Sets a control and sends its action, as a person would; false when it could not be set, and
    // `reason` then says why.
    virtual bool setControl(const std::string& name, const std::string& value, std::string& reason) = 0;
    virtual void clickDone() = 0;
    virtual void clickCancel() = 0;
    // The messages of the alerts the window has shown, oldest first.
    virtual std::vector<std::string> alertMessages() const = 0;
};

// The protocol ApertureEditPlugIn, implemented by the plug-in's principal class. Creation
// (initWithAPIManager:) is the plug-in's C entry point.
class ApertureEditPlugIn {
public:
    virtual ~ApertureEditPlugIn() = default;
    // Loads the window on first use; null when it cannot be made. Must run before beginEditSession.
    virtual EditWindow* editWindow() = 0;
    virtual void beginEditSession() = 0;
    virtual void editManagerDidImportImageAtPath(ApertureEditManager& manager, const std::string& path,
                                                 const VersionId& version) = 0;
    virtual void editManagerDidNotImportImageAtPath(ApertureEditManager& manager, const std::string& path,
                                                    const std::string& error) = 0;
};

// The plug-in library's one C entry point: creates the principal class with the host's API manager
// (initWithAPIManager:); null when the host offers no edit manager. The host deletes the object.
inline constexpr const char* kCreateEditPlugInSymbol = "QVCreateEditPlugIn";
using CreateEditPlugInFunction = ApertureEditPlugIn* (*)(PROAPIAccessing* apiManager);

}  // namespace qv::host
