#include "plugin/PlugInBundle.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>

qv::Bundle plugInBundle() {
    // A resource folder named in the environment stands for every bundle, as for the application's.
    if (const char* named = std::getenv("QV_RESOURCE_DIR"); named && *named) return qv::Bundle::main();
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&plugInBundle), &info) && info.dli_fname) {
        std::error_code failed;
        const auto resources = std::filesystem::path(info.dli_fname).parent_path() / "Resources";
        const auto library = std::filesystem::path(info.dli_fname).filename().string();
        if (library.rfind("QuorvelCI_Plugin", 0) == 0 && std::filesystem::is_directory(resources, failed))
            return qv::Bundle(resources.string());
    }
    return qv::Bundle::main();
}
