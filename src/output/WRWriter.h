#pragma once
// The layered PSD writer: every input file becomes one layer cropped to its non-black pixels, the
// first input also becomes the merged image, and the document goes to disk whole or not at all.
// One writer writes one document at a time; the write server runs each on a thread of its own.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/Bitmap.h"
#include "foundation/Notifications.h"
#include "foundation/Value.h"
#include "output/QVOutputInfo.h"
#include "output/WBitMapa.h"
#include "output/WRImageResource.h"

class WROutputStream;

// A progress report, posted as "WRUpdateNotification" (sender: the writer) with the user
// information {"max", "value", "description", "photoshopFile", "reason"}. Only final reports (max
// and value both -1) are posted.
struct WRStatus {
    int max = 0;
    int value = 0;
    std::string description;  // "File created" or "Failed" when final
    std::string photoshopFile;
    std::string reason;  // why a write failed, for the log or the user

    bool isFinal() const { return max == -1 && value == -1; }
    bool succeeded() const { return isFinal() && description == "File created"; }

    qv::Value userInfo() const;
    static WRStatus fromUserInfo(const qv::Value& userInfo);
};

// A critical alert the writer asks its owner to show.
struct WRAlert {
    std::string title;
    std::string message;
    std::string button = "OK";
};

// Decodes an image file; null when it cannot be read as an image.
using WRBitmapOfFile = std::function<std::shared_ptr<const qv::Bitmap>(const std::string& path)>;

// What the writer needs from its surroundings. Callbacks and notifications come on the writer's thread.
struct WRWriterDelegate {
    WRBitmapOfFile bitmapOfFile;  // empty: the image reader's first image of the file
    std::function<void(const WRAlert&)> showAlert;
    qv::NotificationCenter* notificationCenter = nullptr;  // null: the default center
};

// One document to write: its input files, its path and its settings.
struct WRWriteRequest {
    std::vector<std::string> files;
    std::string photoshopFile;
    QVOutputInfo info = infoForOutput();
};

class WRWriter {
public:
    static constexpr const char* kUpdateNotification = "WRUpdateNotification";
    static constexpr int kMaxDimension = 30000;  // version-1 documents

    explicit WRWriter(WRWriterDelegate delegate);
    ~WRWriter();

    int threadID() const { return m_threadID; }

    // Writes the document and posts its final status; true when the file is in place.
    bool writePhotoshopFile(const WRWriteRequest& request);

    // Process-wide counters: writers numbered so far, and writer threads running now.
    static int newWriterID();
    static std::mutex& writerCountLock();
    static std::mutex& threadCountLock();
    static int& threadCount();  // guarded by threadCountLock()

private:
    struct Layer {
        std::string name;
        std::unique_ptr<WBitMapa> channels;
    };

    void _updateStatus(int max, int value, const std::string& description, const std::string& reason = {}) const;
    bool fail(const std::string& reason);
    bool writeDocument();
    bool calculateLayers();
    void createImageResources();
    std::uint64_t layerRecordLength(const Layer& layer) const;
    std::uint64_t layerLength(const Layer& layer) const;

    // The document's sections, in file order.
    void writeHeader(WROutputStream& stream) const;
    void writeImageResources(WROutputStream& stream) const;
    void writeLayerRecord(WROutputStream& stream, const Layer& layer) const;
    void writeLayers(WROutputStream& stream, std::uint64_t layersLength) const;
    bool writeMergedImage(WROutputStream& stream) const;

    WRWriterDelegate m_delegate;
    int m_threadID = 0;

    std::vector<std::string> _files;
    std::string _photoshopFile;
    QVOutputInfo _workInfo;
    std::vector<Layer> _layers;
    std::vector<std::unique_ptr<WRImageResource>> _imageResource;
    std::int32_t _imageHeight = 0;
    std::int32_t _imageWidth = 0;
    std::int16_t _layerCount = 0;
};
