#include "host/HostCallLog.h"

namespace qv::host {

std::vector<std::string> HostCallLog::names() const {
    std::vector<std::string> names;
    for (const std::string& call : m_calls) names.push_back(call.substr(0, call.find(' ')));
    return names;
}

std::string listText(const std::vector<std::string>& items) {
    std::string text = "[";
    for (std::size_t i = 0; i < items.size(); ++i) text += (i ? ", " : "") + items[i];
    return text + "]";
}

}  // namespace qv::host
