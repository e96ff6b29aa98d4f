#include "foundation/Paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>


namespace qv::paths {

namespace {

// Runs of slashes become one and a trailing slash goes, except for the root itself.
std::string normalized(std::string_view path) {
    std::string result;
    result.reserve(path.size());
    for (char c : path) {
        if (c == '/' && !result.empty() && result.back() == '/') continue;
        result.push_back(c);
    }
    if (result.size() > 1 && result.back() == '/') result.pop_back();
    return result;
}

// Where the last component of a normalized path starts.
std::size_t lastComponentStart(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

// Where the extension of a normalized path starts (after its dot), if it has one. A dot that opens
// the name does not start an extension, and ".." has none.
std::optional<std::size_t> extensionStart(const std::string& path) {
    if (path.size() <= 1) return std::nullopt;
    std::size_t start = lastComponentStart(path);
    std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= start) return std::nullopt;
    if (path.compare(start, std::string::npos, "..") == 0) return std::nullopt;
    return dot + 1;
}


}  // namespace

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    if (home && *home) return normalized(home);
    if (struct passwd* account = ::getpwuid(::getuid()); account && account->pw_dir) return normalized(account->pw_dir);
    return "/";
}

std::string makerFolder() { return homeFolder() + "/Library/Application Support/Zentu"; }

std::string supportFolder() { return makerFolder() + "/QuorvelCI/"; }

std::string preferencesFile() { return homeFolder() + "/Library/Preferences/com.ZentuDigital.QuorvelCI.plist"; }

std::string lastPathComponent(std::string_view path) {
    std::string fixed = normalized(path);
    if (fixed.size() <= 1) return fixed;
    return fixed.substr(lastComponentStart(fixed));
}

std::string pathExtension(std::string_view path) {
    std::string fixed = normalized(path);
    auto start = extensionStart(fixed);
    return start ? fixed.substr(*start) : std::string();
}

std::string deletingLastPathComponent(std::string_view path) {
    std::string fixed = normalized(path);
    if (fixed.empty() || fixed == "/") return fixed;
    std::size_t start = lastComponentStart(fixed);
    if (start == 0) return "";
    if (start == 1) return "/";
    return fixed.substr(0, start - 1);
}

std::string deletingPathExtension(std::string_view path) {
    std::string fixed = normalized(path);
    auto start = extensionStart(fixed);
    return start ? fixed.substr(0, *start - 1) : fixed;
}

std::string appendingPathComponent(std::string_view path, std::string_view component) {
    if (component.empty()) return normalized(path);
    if (path.empty()) return normalized(component);
    std::string joined(path);
    joined += '/';
    joined += component;
    return normalized(joined);
}

std::optional<std::string> appendingPathExtension(std::string_view path, std::string_view extension) {
    std::string fixed = normalized(path);
    if (fixed.empty() || fixed == "/" || (!extension.empty() && extension.front() == '/')) return std::nullopt;
    return normalized(fixed + "." + std::string(extension));
}

}  // namespace qv::paths
