#include "output/QV16BitImageCreator.h"

#include <stdlib.h>

#include <algorithm>

#include "foundation/Files.h"
#include "foundation/Paths.h"

namespace {

// A folder of its own for one write under the temporary folder's "QuorvelCI", so that writes
// started together never share their "temp.jpg". Empty when it cannot be made.
std::string makeScratchFolder() {
    const std::string base = qv::paths::appendingPathComponent(qv::paths::temporaryFolder(), "QuorvelCI");
    if (!qv::files::createFolder(base, true)) return {};
    std::string pattern = qv::paths::appendingPathComponent(base, "write-XXXXXX");
    if (!::mkdtemp(pattern.data())) return {};
    return pattern;
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
    const std::string input = qv::paths::appendingPathComponent(scratch, "temp.jpg");
    if (!qv::files::writeWhole(input, data.data(), data.size())) {
        qv::files::removeItem(scratch);
        return false;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    m_pInputArray = {input};
    m_pOutputFile = path;
    m_photoshopInfo._depth = 2;
    if (startWrite(scratch)) return true;
    qv::files::removeItem(scratch);
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

    std::unique_ptr<WRWriterProxy> proxy = createPhotoshopWriteServer(m_delegate);
    if (!proxy) return false;
    // The scratch input goes once the write has ended.
    WRWriterProxy::Completion completion;
    if (!scratchFolder.empty()) completion = [scratchFolder](bool) { qv::files::removeItem(scratchFolder); };
    proxy->writePhotoshopFile(WRWriteRequest{m_pInputArray, m_pOutputFile, m_photoshopInfo}, std::move(completion));
    _phototshopWriter.push_back(std::move(proxy));
    return true;
}
