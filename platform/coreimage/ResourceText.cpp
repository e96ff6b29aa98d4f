#include "coreimage/ResourceText.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace qv::ci {

namespace {

std::string executableFolder() {
    std::vector<char> buffer(4096);
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0) return {};
    std::string path(buffer.data(), std::size_t(n));
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::optional<std::string> readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return text.str();
}

}  // namespace

std::optional<std::string> readResourceText(const std::string& name, const std::string& type) {
    // A name that could leave the resource folder is not a resource name.
    if (name.empty() || name.find('/') != std::string::npos || type.find('/') != std::string::npos) return std::nullopt;
    const std::string file = type.empty() ? name : name + "." + type;
    std::vector<std::string> folders;
    if (const char* dir = std::getenv("QV_RESOURCE_DIR"); dir && *dir) folders.emplace_back(dir);
    if (std::string exe = executableFolder(); !exe.empty()) folders.push_back(exe + "/../Resources");
    for (const auto& folder : folders) {
        if (auto text = readWhole(folder + "/" + file)) return text;
    }
    return std::nullopt;
}

}  // namespace qv::ci
