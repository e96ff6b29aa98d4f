#pragma once
// The application's bundle: its resource folder, resources by name and type, the built-in plug-ins
// folder and the localized string table.
#include <optional>
#include <string>

namespace qv {

class Bundle {
public:
    // The resources are in $QV_RESOURCE_DIR when it is set, else in <executable's folder>/../Resources
    // (every program is built into build/bin, build/tests or build/bench: build/Resources), else,
    // for an installed program in <prefix>/bin, in <prefix>/share/quorvelci. Read at every call, so
    // a test can point it elsewhere.
    static Bundle main();
    // Makes main() answer this resource folder (after $QV_RESOURCE_DIR): a library loaded into
    // another program, with a bundle of its own, takes its resources from there. Empty: as before.
    static void setMainResourcePath(std::string resourcePath);
    explicit Bundle(std::string resourcePath);

    const std::string& resourcePath() const { return m_resourcePath; }
    // <resources>/name.type (name alone when the type is empty) when something is there.
    std::optional<std::string> pathForResource(const std::string& name, const std::string& type = "") const;
    std::string builtInPlugInsPath() const;  // <resources>/PlugIns
    // The text for `key` in the string table "Localizable.strings" (a property-list dictionary of
    // the resources); the key itself when the table or the key is missing.
    std::string localizedString(const std::string& key) const;

private:
    std::string m_resourcePath;
};

// Bundle::main().localizedString(key)
std::string localizedString(const std::string& key);

}  // namespace qv
