#pragma once
// The calls a host received from a plug-in, one line each in the order they came, e.g.
// "pathOfEditableFileForVersion beach (editable).jpg".
#include <string>
#include <vector>

namespace qv::host {

class HostCallLog {
public:
    void record(std::string call) { m_calls.push_back(std::move(call)); }
    const std::vector<std::string>& calls() const { return m_calls; }
    // The calls' names alone (the first word of each line).
    std::vector<std::string> names() const;
    void clear() { m_calls.clear(); }

private:
    std::vector<std::string> m_calls;
};

// "[a, b]": how a list of identifiers is written in a call's line.
std::string listText(const std::vector<std::string>& items);

}  // namespace qv::host
