#pragma once
// A new file that takes the place of a target path only once it is complete. It is written under a
// temporary name in the target's folder (so that the final rename stays on one file system and is
// atomic) and removed if it is never committed: a failed or refused write leaves the target as it was
// and nothing partial beside it.
#include <string>

namespace unwrap {

class ReplacementFile {
public:
    // Creates the temporary file, readable and writable as the process's umask allows.
    // Throws std::ios_base::failure when the folder does not take it.
    explicit ReplacementFile(const std::string& target);
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    const std::string& temporaryPath() const { return m_temporary; }
    // Hands the open descriptor of the temporary file to the writer, which closes it.
    int takeDescriptor();
    // Renames the written file over the target, keeping the permission bits of a file it replaces.
    // Throws std::ios_base::failure; the temporary file is then removed.
    void commit();

private:
    std::string m_target;
    std::string m_temporary;
    int m_descriptor = -1;
    bool m_committed = false;
};

}  // namespace unwrap
