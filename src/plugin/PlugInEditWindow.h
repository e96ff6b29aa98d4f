#pragma once
// The plug-in's window as the host meets it: its frame, the correction controls a person sets by
// name, the Done and Cancel buttons, and the alerts shown.
#include "appkit/Button.h"
#include "appkit/Window.h"
#include "host/ApertureEditManager.h"

class QVEditPlugIn;

class PlugInEditWindow : public qv::host::EditWindow {
public:
    // The window and its Done and Cancel buttons, as the plug-in's nib made them.
    PlugInEditWindow(QVEditPlugIn& plugIn, qv::ui::Window& window, qv::ui::Button& done, qv::ui::Button& cancel);

    qv::host::Frame frame() const override;
    std::vector<std::pair<std::string, std::string>> controls() const override;
    bool setControl(const std::string& name, const std::string& value, std::string& reason) override;
    void clickDone() override;
    void clickCancel() override;
    std::vector<std::string> alertMessages() const override;

    qv::ui::Button& doneButton() const { return m_done; }
    qv::ui::Button& cancelButton() const { return m_cancel; }

private:
    QVEditPlugIn& m_plugIn;
    qv::ui::Window& m_window;
    qv::ui::Button& m_done;
    qv::ui::Button& m_cancel;
};
