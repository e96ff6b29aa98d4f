#pragma once
// Open and save panels. Running one (modally, or as a sheet on a window) asks the Responder for
// the user's choice and checks it as the real panel would let a person choose: an open panel takes
// only existing items of the allowed types, files or folders as configured, several only when
// allowed; a save panel takes one name, put into the start folder when it has no folder of its
// own, with the required extension added when it is missing. A refused answer reads as cancel.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "appkit/Responder.h"
#include "appkit/Window.h"

namespace qv::ui {

class SavePanel : public Panel, public std::enable_shared_from_this<SavePanel> {
public:
    SavePanel();
    static std::shared_ptr<SavePanel> savePanel() { return std::make_shared<SavePanel>(); }

    const std::string& directory() const { return m_directory; }
    void setDirectory(const std::string& directory) { m_directory = directory; }
    const std::string& nameFieldStringValue() const { return m_name; }
    void setNameFieldStringValue(const std::string& name) { m_name = name; }
    // The extension a saved name must end in (without the dot); empty for none.
    const std::string& requiredFileType() const { return m_requiredType; }
    void setRequiredFileType(const std::string& type) { m_requiredType = type; }
    const std::vector<std::string>& allowedFileTypes() const { return m_allowedTypes; }
    void setAllowedFileTypes(const std::vector<std::string>& types) { m_allowedTypes = types; }
    const std::shared_ptr<View>& accessoryView() const { return m_accessory; }
    void setAccessoryView(std::shared_ptr<View> view) { m_accessory = std::move(view); }
    bool canSelectHiddenExtension() const { return m_canHideExtension; }
    void setCanSelectHiddenExtension(bool on) { m_canHideExtension = on; }
    bool isExtensionHidden() const { return m_extensionHidden; }
    void setExtensionHidden(bool hidden) { m_extensionHidden = hidden; }
    // Told the path the person confirmed before the panel checks it against the required
    // extension, so that the program may change that extension first (a name typed with another
    // format's extension chooses that format).
    void setConfirmedNameHandler(std::function<void(SavePanel& panel, const std::string& path)> handler) {
        m_confirmedName = std::move(handler);
    }
    bool canCreateDirectories() const { return m_canCreateDirectories; }
    void setCanCreateDirectories(bool on) { m_canCreateDirectories = on; }

    int runModal();  // kOKButton or kCancelButton
    int runModalForDirectory(const std::string& directory, const std::string& name);
    // Shows the panel as a sheet; the handler runs from the main-thread queue with the code, so
    // settings made right after this call still count.
    void beginSheetForDirectory(const std::string& directory, const std::string& name, Window& window,
                                std::function<void(SavePanel& panel, int returnCode)> handler);

    std::string filename() const;  // the chosen path; empty before an OK
    const std::vector<std::string>& filenames() const { return m_chosen; }

protected:
    virtual PanelRequest request(bool asSheet) const;
    // Why the panel refuses the answer (empty when it takes it); may complete the answer.
    virtual std::string check(PanelAnswer& answer) const;
    int ask(bool asSheet);

    bool m_canCreateDirectories = true;

private:
    std::string m_directory;
    std::string m_name;
    std::string m_requiredType;
    std::vector<std::string> m_allowedTypes;
    std::shared_ptr<View> m_accessory;
    std::function<void(SavePanel&, const std::string&)> m_confirmedName;
    bool m_canHideExtension = false;
    bool m_extensionHidden = false;
    std::vector<std::string> m_chosen;
};

class OpenPanel : public SavePanel {
public:
    OpenPanel();
    static std::shared_ptr<OpenPanel> openPanel() { return std::make_shared<OpenPanel>(); }

    bool canChooseFiles() const { return m_files; }
    void setCanChooseFiles(bool on) { m_files = on; }
    bool canChooseDirectories() const { return m_directories; }
    void setCanChooseDirectories(bool on) { m_directories = on; }
    bool allowsMultipleSelection() const { return m_multiple; }
    void setAllowsMultipleSelection(bool on) { m_multiple = on; }

    int runModalForTypes(const std::vector<std::string>& types);
    int runModalForDirectory(const std::string& directory, const std::string& name, const std::vector<std::string>& types);
    void beginSheetForDirectory(const std::string& directory, const std::string& name,
                                const std::vector<std::string>& types, Window& window,
                                std::function<void(OpenPanel& panel, int returnCode)> handler);

protected:
    PanelRequest request(bool asSheet) const override;
    std::string check(PanelAnswer& answer) const override;

private:
    bool m_files = true;
    bool m_directories = false;
    bool m_multiple = false;
};

}  // namespace qv::ui
