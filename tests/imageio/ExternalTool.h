#pragma once
// Runs an outside program (ImageMagick's identify, exiftool) from an argument vector: no shell ever
// sees a path.
#include <string>
#include <vector>

namespace qvtest {

struct ToolResult {
    int exitCode = -1;   // -1 when the program could not be started
    std::string output;  // its standard output
};

ToolResult runTool(const std::vector<std::string>& arguments);
bool toolAvailable(const std::string& program);

}  // namespace qvtest
