#include "appkit/SavePanel.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "appkit/Application.h"
#include "foundation/RunLoop.h"

namespace qv::ui {
namespace fs = std::filesystem;

namespace {

std::string lowered(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

std::string extensionOf(const std::string& path) {
    std::string ext = fs::path(path).extension().string();
    return ext.empty() ? ext : ext.substr(1);
}

bool typeAllowed(const std::string& path, const std::vector<std::string>& types) {
    if (types.empty()) return true;
    const std::string ext = lowered(extensionOf(path));
    return std::any_of(types.begin(), types.end(), [&](const std::string& t) { return lowered(t) == ext; });
}

}  // namespace

SavePanel::SavePanel() : Panel(Rect(0, 0, 500, 400)) {}

PanelRequest SavePanel::request(bool asSheet) const {
    PanelRequest r;
    r.kind = PanelKind::Save;
    r.directory = m_directory;
    r.suggestedName = m_name;
    r.allowedTypes = m_allowedTypes;
    r.requiredType = m_requiredType;
    r.canChooseFiles = true;
    r.asSheet = asSheet;
    r.accessory = m_accessory;
    if (auto self = weak_from_this(); !self.expired())
        r.currentRequiredType = [self] {
            auto panel = self.lock();
            return panel ? panel->requiredFileType() : std::string();
        };
    return r;
}

std::string SavePanel::check(PanelAnswer& answer) const {
    if (answer.paths.size() != 1) return "a save panel takes exactly one name";
    std::string path = answer.paths.front();
    if (path.empty()) return "the name is empty";
    if (path.find('/') == std::string::npos) path = (fs::path(m_directory) / path).string();
    std::error_code ec;
    const fs::path parent = fs::path(path).parent_path();
    if (!fs::is_directory(parent, ec)) return "the folder " + parent.string() + " does not exist";
    if (fs::is_directory(path, ec)) return path + " is a folder";
    if (!m_requiredType.empty() && lowered(extensionOf(path)) != lowered(m_requiredType)) path += "." + m_requiredType;
    answer.paths = {path};
    return "";
}

int SavePanel::ask(bool asSheet) {
    PanelAnswer answer = Application::shared().responder().answerPanel(request(asSheet), [this](PanelAnswer& a) {
        if (m_confirmedName && a.paths.size() == 1) m_confirmedName(*this, a.paths.front());
        return check(a);
    });
    m_chosen = answer.ok ? answer.paths : std::vector<std::string>{};
    if (answer.ok && !m_chosen.empty()) m_directory = fs::path(m_chosen.front()).parent_path().string();
    return answer.ok ? kOKButton : kCancelButton;
}

int SavePanel::runModal() {
    orderFront();
    int code = ask(false);
    orderOut();
    return code;
}

int SavePanel::runModalForDirectory(const std::string& directory, const std::string& name) {
    if (!directory.empty()) setDirectory(directory);
    setNameFieldStringValue(name);
    return runModal();
}

void SavePanel::beginSheetForDirectory(const std::string& directory, const std::string& name, Window& window,
                                       std::function<void(SavePanel&, int)> handler) {
    if (!directory.empty()) setDirectory(directory);
    setNameFieldStringValue(name);
    Application& app = Application::shared();
    if (!app.beginSheet(*this, window, [handler](Window& sheet, int code) {
            sheet.orderOut();
            if (handler) handler(static_cast<SavePanel&>(sheet), code);
        }))
        return;
    // The person answers after the program has finished setting the panel up.
    std::shared_ptr<SavePanel> keep = weak_from_this().lock();
    performOnMainThread([this, keep] { Application::shared().endSheet(*this, ask(true)); }, false);
}

std::string SavePanel::filename() const { return m_chosen.empty() ? "" : m_chosen.front(); }

OpenPanel::OpenPanel() { m_canCreateDirectories = false; }

PanelRequest OpenPanel::request(bool asSheet) const {
    PanelRequest r = SavePanel::request(asSheet);
    r.kind = PanelKind::Open;
    r.requiredType.clear();
    r.currentRequiredType = {};
    r.canChooseFiles = m_files;
    r.canChooseDirectories = m_directories;
    r.allowsMultipleSelection = m_multiple;
    return r;
}

std::string OpenPanel::check(PanelAnswer& answer) const {
    if (answer.paths.empty()) return "no item was chosen";
    if (answer.paths.size() > 1 && !m_multiple) return "the panel takes one item only";
    for (const std::string& path : answer.paths) {
        std::error_code ec;
        if (!fs::exists(path, ec)) return path + " does not exist";
        if (fs::is_directory(path, ec)) {
            if (!m_directories) return path + " is a folder and the panel takes files only";
            continue;
        }
        if (!m_files) return path + " is a file and the panel takes folders only";
        if (!typeAllowed(path, allowedFileTypes())) return path + " is not of an allowed type";
    }
    return "";
}

int OpenPanel::runModalForTypes(const std::vector<std::string>& types) {
    setAllowedFileTypes(types);
    return runModal();
}

int OpenPanel::runModalForDirectory(const std::string& directory, const std::string& name,
                                    const std::vector<std::string>& types) {
    setAllowedFileTypes(types);
    return SavePanel::runModalForDirectory(directory, name);
}

void OpenPanel::beginSheetForDirectory(const std::string& directory, const std::string& name,
                                       const std::vector<std::string>& types, Window& window,
                                       std::function<void(OpenPanel&, int)> handler) {
    setAllowedFileTypes(types);
    SavePanel::beginSheetForDirectory(directory, name, window, [handler](SavePanel& panel, int code) {
        if (handler) handler(static_cast<OpenPanel&>(panel), code);
    });
}

}  // namespace qv::ui
