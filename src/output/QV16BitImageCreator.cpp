#include "output/QV16BitImageCreator.h"

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "output/WROutputStream.h"

namespace fs = std::filesystem;

namespace {

// A folder of its own for one write under "<temporary folder>/QuorvelCI/", so that writes started
// together never share their "temp.jpg". Empty when it cannot be made.
std::string makeScratchFolder() {
    std::error_code error;
    const fs::path base = fs::temp_directory_path(error) / "QuorvelCI";
    if (error) return {};
    fs::create_directories(base, error);
    if (error) return {};
    std::string pattern = (base / "write-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) return {};
    return pattern;
}

void removeFolder(const std::string& folder) {
    std::error_code ignored;
    if (!folder.empty()) fs::remove_all(folder, ignored);
}

}  // namespace

QV16BitImageCreator::QV16BitImageCreator(WRWriterDelegate delegate)
    : m_delegate(std::move(delegate)), m_photoshopInfo(::infoForOutput()) {}

QV16BitImageCreator::~QV16BitImageCreator() {
    std::lock_guard<std::mutex> guard(m_lock);
    _phototshopWriter.clear();  // each proxy lets its write finish
}

QVOutputInfo QV16BitImageCreator::infoForOutput() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_photoshopInfo;
}

std::vector<std::string> QV16BitImageCreator::imageFiles() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_pInputArray;
}

std::string QV16BitImageCreator::photoshopFile() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_pOutputFile;
}

void QV16BitImageCreator::setImageFiles(std::vector<std::string> files, std::string photoshopFile) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_pInputArray = std::move(files);
    m_pOutputFile = std::move(photoshopFile);
}

bool QV16BitImageCreator::writePSD(const std::vector<std::uint8_t>& data, const std::string& path) {
    const std::string scratch = makeScratchFolder();
    if (scratch.empty()) return false;
    const std::string input = (fs::path(scratch) / "temp.jpg").string();
    WROutputStream stream(input);
    stream.writeBytes(data.data(), data.size());
    if (!stream.commit()) {
        removeFolder(scratch);
        return false;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    m_pInputArray = {input};
    m_pOutputFile = path;
    m_photoshopInfo._depth = 2;
    if (startWrite(scratch)) return true;
    removeFolder(scratch);
    return false;
}

bool QV16BitImageCreator::create8To8Or16To16PSD(int bits) {
    if (bits != 8 && bits != 16) return false;
    std::lock_guard<std::mutex> guard(m_lock);
    m_photoshopInfo._depth = static_cast<std::int16_t>(bits / 8);
    return startWrite({});
}

bool QV16BitImageCreator::photoshopFileWrite() {
    std::lock_guard<std::mutex> guard(m_lock);
    return startWrite({});
}

bool QV16BitImageCreator::startWrite(const std::string& scratchFolder) {
    // Writers that have ended are let go; the others stay until they end or this object goes.
    _phototshopWriter.erase(std::remove_if(_phototshopWriter.begin(), _phototshopWriter.end(),
                                           [](const auto& proxy) { return proxy->isFinished(); }),
                            _phototshopWriter.end());

    WRWriterDelegate delegate = m_delegate;
    if (!scratchFolder.empty()) {
        // The scratch input is removed once the write has ended, before the observer hears of it.
        delegate.updateNotification = [scratchFolder, observer = m_delegate.updateNotification](const WRStatus& s) {
            if (s.isFinal()) removeFolder(scratchFolder);
            if (observer) observer(s);
        };
    }
    std::unique_ptr<WRWriterProxy> proxy = createPhotoshopWriteServer(std::move(delegate));
    if (!proxy) return false;
    proxy->writePhotoshopFile(WRWriteRequest{m_pInputArray, m_pOutputFile, m_photoshopInfo});
    _phototshopWriter.push_back(std::move(proxy));
    return true;
}
