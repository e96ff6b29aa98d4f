#pragma once
// A temporary folder that is removed with everything in it when the object goes away.
#include <string>

namespace qvtest {

class TempDir {
public:
    explicit TempDir(const std::string& prefix = "qvtest");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    // path() + "/" + name
    std::string file(const std::string& name) const;

private:
    std::string m_path;
};

// The source tree's root (QV_SOURCE_DIR as ctest sets it, else the compiled-in root).
std::string sourceDir();
// The build tree's root.
std::string binaryDir();

}  // namespace qvtest
