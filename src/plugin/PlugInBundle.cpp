#include "plugin/PlugInBundle.h"

#include <dlfcn.h>

#include <filesystem>

qv::Bundle plugInBundle() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&plugInBundle), &info) && info.dli_fname) {
        std::error_code failed;
        const auto resources = std::filesystem::path(info.dli_fname).parent_path() / "Resources";
        const auto library = std::filesystem::path(info.dli_fname).filename().string();
        // Everything of the plug-in's code that asks for the main bundle (strings, kernels, the
        // metadata tool, the raw helper) then finds the plug-in's own.
        if (library.rfind("QuorvelCI_Plugin", 0) == 0 && std::filesystem::is_directory(resources, failed))
            qv::Bundle::setMainResourcePath(resources.string());
    }
    return qv::Bundle::main();
}
