#pragma once
// The plug-in's principal class: the host's edit session on top of the same QVController the
// application uses. The host creates it with its API manager, asks for its window (the nib is
// loaded once), starts a session on its selected versions; the window's Done writes the corrected
// photo over the first version's editable file, Cancel leaves that file as it was, and both end
// the host's session.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/ApertureEditManager.h"
#include "plugin/PlugInNib.h"

class PlugInEditWindow;

class QVEditPlugIn : public qv::host::ApertureEditPlugIn {
public:
    // initWithAPIManager: null when the host offers no edit manager.
    static std::unique_ptr<QVEditPlugIn> initWithAPIManager(qv::host::PROAPIAccessing* apiManager);
    ~QVEditPlugIn() override;
    QVEditPlugIn(const QVEditPlugIn&) = delete;
    QVEditPlugIn& operator=(const QVEditPlugIn&) = delete;

    qv::host::EditWindow* editWindow() override;
    void beginEditSession() override;
    void editManagerDidImportImageAtPath(qv::host::ApertureEditManager&, const std::string&,
                                         const qv::host::VersionId&) override {}
    void editManagerDidNotImportImageAtPath(qv::host::ApertureEditManager&, const std::string&,
                                            const std::string&) override {}

    // The window's buttons. Done writes the photo back and ends the session; when the photo cannot
    // be written, the editable file is left as it was, "SaveErrorMessage" is shown and the session
    // stays open for another Done or a Cancel.
    void doneEditing(qv::ui::Control* sender);
    void cancelEditing(qv::ui::Control* sender);

    // Null until editWindow has loaded the nib.
    QVController* controller() { return m_nib ? m_nib->objects.controller.get() : nullptr; }
    qv::ui::Window* window();
    // The window's menu (null until editWindow has loaded the nib).
    qv::ui::Menu* menu() { return m_nib ? m_nib->objects.mainMenu.get() : nullptr; }
    // One entry per selected version of the session: the editable file's path, or nothing.
    const std::vector<std::optional<std::string>>& imagePaths() const { return mImagePaths; }
    bool isSessionOpen() const { return m_sessionOpen; }
    // The bundle the plug-in's resources come from.
    const qv::Bundle& bundle() const { return m_bundle; }

    // Where a window of the stored size sits over the host's window: centred across it, the two
    // top edges level. Null when the stored width or height is 0 (the window keeps its frame).
    static std::optional<qv::Rect> placedFrame(const qv::host::Frame& host, double width, double height);

private:
    QVEditPlugIn(qv::host::PROAPIAccessing* apiManager, qv::host::ApertureEditManager* editManager);
    // Start-up steps of a session.
    void placeWindowOverHost();
    void restoreFisheyeControls();
    // Renders the correction at full resolution and writes it over the file in the file's own
    // type, with the file's properties; false, the file untouched, on any failure.
    bool writeBack(const std::string& path);
    // What both ends of a session store: the window frame and the sampler; then the sweep.
    void storeSessionEnd();

    qv::host::PROAPIAccessing* mApiManager;       // not owned
    qv::host::ApertureEditManager* mEditManager;  // the host's; lives as long as the host
    std::optional<PlugInNib> m_nib;               // the top-level objects of the plug-in's nib
    std::vector<std::optional<std::string>> mImagePaths;
    std::unique_ptr<PlugInEditWindow> m_editWindow;
    qv::Bundle m_bundle;
    bool m_sessionOpen = false;
};
