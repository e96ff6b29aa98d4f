#include "common/BinaryPropertyList.h"

#include <plist/plist.h>

#include <cstdlib>

#include "foundation/Files.h"
#include "foundation/PropertyList.h"

namespace qvtest {

std::string binaryPropertyList(const qv::Value& root) {
    const auto xml = qv::formatPropertyList(root);
    if (!xml) return {};
    plist_t node = nullptr;
    plist_from_xml(xml->c_str(), std::uint32_t(xml->size()), &node);
    if (!node) return {};
    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(node, &bytes, &length);
    plist_free(node);
    std::string result = bytes ? std::string(bytes, length) : std::string();
    std::free(bytes);
    return result;
}

bool rewriteAsBinary(const std::string& path) {
    const std::string binary = binaryPropertyList(qv::readPropertyList(path));
    return !binary.empty() && qv::files::writeWhole(path, std::string_view(binary));
}

}  // namespace qvtest
