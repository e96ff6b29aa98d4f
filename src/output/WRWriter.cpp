#include "output/WRWriter.h"

#include <algorithm>
#include <limits>

#include "foundation/Paths.h"
#include "imageio/ImageSource.h"

#include "output/WRImageResource1000.h"
#include "output/WRImageResource1005.h"
#include "output/WRImageResource1039.h"
#include "output/WROutputStream.h"

namespace {

int gWriterCount = 0;
int gThreadCount = 0;

// The layer name: the file's name without its extension, cut to what a Pascal string holds without
// splitting a UTF-8 character.
std::string layerNameOf(const std::string& path) {
    std::string name = qv::paths::deletingPathExtension(qv::paths::lastPathComponent(path));
    constexpr std::size_t kMaxBytes = 255;
    if (name.size() > kMaxBytes) {
        std::size_t cut = kMaxBytes;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
        name.resize(cut);
    }
    return name;
}

// The first image of a file as the image reader decodes it, as stored (not turned upright).
std::shared_ptr<const qv::Bitmap> bitmapOfFile(const std::string& path, std::string& error) {
    const auto source = qv::io::ImageSource::createWithPath(path, error);
    if (!source) return nullptr;
    std::optional<qv::Bitmap> image = source->createImage(0, {}, error);
    if (!image) return nullptr;
    return std::make_shared<qv::Bitmap>(std::move(*image));
}

}  // namespace

std::mutex& WRWriter::writerCountLock() {
    static std::mutex lock;
    return lock;
}

std::mutex& WRWriter::threadCountLock() {
    static std::mutex lock;
    return lock;
}

int& WRWriter::threadCount() { return gThreadCount; }

int WRWriter::newWriterID() {
    std::lock_guard<std::mutex> guard(writerCountLock());
    return ++gWriterCount;
}

WRWriter::WRWriter(WRWriterDelegate delegate) : m_delegate(std::move(delegate)), m_threadID(newWriterID()) {}

WRWriter::~WRWriter() = default;

qv::Value WRStatus::userInfo() const {
    return qv::Dictionary{{"max", max},
                          {"value", value},
                          {"description", description},
                          {"photoshopFile", photoshopFile},
                          {"reason", reason}};
}

WRStatus WRStatus::fromUserInfo(const qv::Value& userInfo) {
    WRStatus status;
    const qv::Dictionary* d = userInfo.dictionary();
    if (!d) return status;
    auto number = [&](const char* key) {
        auto it = d->find(key);
        return it == d->end() ? 0 : int(it->second.asInteger().value_or(0));
    };
    auto text = [&](const char* key) {
        auto it = d->find(key);
        return it != d->end() && it->second.string() ? *it->second.string() : std::string();
    };
    status.max = number("max");
    status.value = number("value");
    status.description = text("description");
    status.photoshopFile = text("photoshopFile");
    status.reason = text("reason");
    return status;
}

void WRWriter::_updateStatus(int max, int value, const std::string& description, const std::string& reason) const {
    // Progress on the way is not posted: observers learn only how a write ended.
    if (max != -1 || value != -1) return;
    WRStatus status;
    status.max = max;
    status.value = value;
    status.description = description;
    status.photoshopFile = _photoshopFile;
    status.reason = reason;
    qv::NotificationCenter& center =
        m_delegate.notificationCenter ? *m_delegate.notificationCenter : qv::NotificationCenter::defaultCenter();
    center.post(kUpdateNotification, this, status.userInfo());
}

bool WRWriter::fail(const std::string& reason) {
    _updateStatus(-1, -1, "Failed", reason);
    return false;
}

bool WRWriter::writePhotoshopFile(const WRWriteRequest& request) {
    _updateStatus(0, 0, "Initialisation");
    _files = request.files;
    _photoshopFile = request.photoshopFile;
    _workInfo = request.info;
    _layers.clear();
    _imageResource.clear();
    _imageHeight = _imageWidth = 0;
    _layerCount = 0;

    bool written = false;
    try {
        written = writeDocument();
    } catch (const std::exception& error) {
        // Out of memory for a very large document, most likely; the temporary file is already gone.
        written = fail(error.what());
    }

    // The buffers of a document are not kept past its write.
    _layers.clear();
    _imageResource.clear();
    return written;
}

bool WRWriter::writeDocument() {
    if (_files.empty()) return fail("No input files were given.");
    if (_workInfo._version != 1) return fail("Only version-1 documents are written.");
    if (_workInfo._colorMode != 3) return fail("Only RGB documents are written.");
    if (_files.size() > std::size_t(std::numeric_limits<std::int16_t>::max()))
        return fail("A document holds at most 32767 layers.");
    _updateStatus(0, 0, "Creating PSDFile...");
    if (!calculateLayers()) return false;

    // The sizes are checked before anything is written, so a refused document leaves no file.
    const char* tooLarge = nullptr;
    if (_imageHeight < 1 || _imageHeight > kMaxDimension)
        tooLarge = "The height of image is too large.";
    else if (_imageWidth < 1 || _imageWidth > kMaxDimension)
        tooLarge = "The width of image is too large.";
    if (tooLarge) {
        if (m_delegate.showAlert) m_delegate.showAlert(WRAlert{"Create photoshop file error.", tooLarge, "OK"});
        return fail(tooLarge);
    }
    std::uint64_t layersLength = 0;
    for (const Layer& layer : _layers) layersLength += layerLength(layer);
    // The section's 32-bit length counts the layers, the pad byte, the layer count and two lengths.
    if (layersLength + 1 + 2 + 8 > std::numeric_limits<std::uint32_t>::max())
        return fail("The layers are too large for a version-1 document.");

    WROutputStream stream(_photoshopFile);
    if (!stream.ok()) return fail(stream.errorText());
    _updateStatus(0, 0, "Writing header info");
    writeHeader(stream);
    _updateStatus(0, 0, "Writing image resource");
    createImageResources();
    writeImageResources(stream);
    _updateStatus(0, 0, "Writing layers");
    writeLayers(stream, layersLength);
    _updateStatus(0, 0, "Writing background");
    if (!writeMergedImage(stream)) return fail("A row of the merged image is too long to pack.");
    if (!stream.commit()) return fail(stream.errorText());
    _updateStatus(-1, -1, "File created");
    return true;
}

bool WRWriter::calculateLayers() {
    const int count = int(_files.size());
    _updateStatus(0, count, "Calculate layers size");
    for (int index = 0; index < count; ++index) {
        const std::string& path = _files[std::size_t(index)];
        std::string error;
        std::shared_ptr<const qv::Bitmap> bitmap =
            m_delegate.bitmapOfFile ? m_delegate.bitmapOfFile(path) : bitmapOfFile(path, error);
        std::shared_ptr<const WRPixelSource> source = WRPixelSource::make(std::move(bitmap));
        if (!source)
            return fail("\"" + path + "\" cannot be read as an image" + (error.empty() ? "." : ": " + error + "."));
        _imageHeight = std::max(_imageHeight, std::int32_t(source->height()));
        _imageWidth = std::max(_imageWidth, std::int32_t(source->width()));
        // Larger inputs are refused before their channels are built.
        if (_imageHeight > kMaxDimension || _imageWidth > kMaxDimension) return true;
        std::unique_ptr<WBitMapa> channels = WBitMapa::make(std::move(source), _workInfo, error);
        if (!channels) return fail(error);
        _layers.push_back(Layer{layerNameOf(path), std::move(channels)});
        ++_layerCount;
        _updateStatus(index, count, "Calculate layers size");
    }
    return true;
}

void WRWriter::createImageResources() {
    const std::int16_t depth = std::int16_t(8 * _workInfo._depth);
    _imageResource.push_back(std::make_unique<WRImageResource1000>(
        WRPixelSource::kColourSamples, std::int16_t(_imageHeight), std::int16_t(_imageWidth), depth,
        _workInfo._colorMode));
    _imageResource.push_back(std::make_unique<WRImageResource1005>(WRResolutionInfo::fromOutputInfo(_workInfo)));
    if (_workInfo._colorProfile == 1)
        if (auto profile = WRImageResource1039::initWithTIFFFile(_files.front())) _imageResource.push_back(std::move(profile));
}
