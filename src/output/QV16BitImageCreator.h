#pragma once
// The entry to the layered PSD writer: turns one encoded image into a one-layer document written
// by the write server on a thread of its own.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "output/QVOutputInfo.h"
#include "output/WRWriteServer.h"

class QV16BitImageCreator {
public:
    explicit QV16BitImageCreator(WRWriterDelegate delegate);
    ~QV16BitImageCreator();  // waits for the writes it started

    // Keeps `data` as "temp.jpg" in a scratch folder under the temporary folder's "QuorvelCI" and
    // writes it as a 16-bit document at `path`. False when the write could not be started; its
    // outcome arrives as the final status. The scratch folder goes once the write has ended.
    bool writePSD(const std::vector<std::uint8_t>& data, const std::string& path);

    // Writes the current inputs to the current output with `bits` per sample (8 or 16).
    bool create8To8Or16To16PSD(int bits);
    bool photoshopFileWrite();

    QVOutputInfo infoForOutput() const;
    std::vector<std::string> imageFiles() const;
    std::string photoshopFile() const;
    void setImageFiles(std::vector<std::string> files, std::string photoshopFile);

private:
    bool startWrite(const std::string& scratchFolder);

    mutable std::mutex m_lock;
    WRWriterDelegate m_delegate;
    QVOutputInfo m_photoshopInfo;
    std::vector<std::string> m_pInputArray;
    std::string m_pOutputFile;
    std::vector<std::unique_ptr<WRWriterProxy>> _phototshopWriter;  // one per write started
};
