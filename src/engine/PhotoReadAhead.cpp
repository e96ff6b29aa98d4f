#include "engine/PhotoReadAhead.h"

#include <sys/stat.h>

#include <condition_variable>
#include <memory>
#include <mutex>

#include "foundation/Threads.h"

namespace QVPhotoReadAhead {
namespace {

// What tells a file apart from the one read: another file renamed over it, or a rewrite.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    timespec modified{}, changed{};
    bool operator==(const FileStamp& o) const {
        return device == o.device && inode == o.inode && size == o.size && modified.tv_sec == o.modified.tv_sec &&
               modified.tv_nsec == o.modified.tv_nsec && changed.tv_sec == o.changed.tv_sec &&
               changed.tv_nsec == o.changed.tv_nsec;
    }
};

bool stampOf(const std::string& path, FileStamp& stamp) {
    struct stat s {};
    if (::stat(path.c_str(), &s) != 0 || !S_ISREG(s.st_mode)) return false;
    stamp = {s.st_dev, s.st_ino, s.st_size, s.st_mtim, s.st_ctim};
    return true;
}

struct Reading {
    std::string path;
    FileStamp stamp;  // taken before the read began
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    qv::ci::Image image;
};

std::mutex gLock;
std::shared_ptr<Reading> gCurrent;

}  // namespace

void start(const std::string& path, Reader reader) {
    auto reading = std::make_shared<Reading>();
    reading->path = path;
    if (!stampOf(path, reading->stamp)) {
        drop();
        return;
    }
    {
        std::lock_guard<std::mutex> guard(gLock);
        gCurrent = reading;
    }
    const bool started = qv::detachThread([reading, reader = std::move(reader)] {
        qv::ci::Image image = reader(reading->path);
        std::lock_guard<std::mutex> guard(reading->lock);
        reading->image = std::move(image);
        reading->done = true;
        reading->finished.notify_all();
    });
    if (!started) drop();
}

namespace {

// The reading of path once it has ended, taken out of the read-ahead or left in it.
qv::ci::Image finishedReading(const std::string& path, bool takeIt) {
    std::shared_ptr<Reading> reading;
    {
        std::lock_guard<std::mutex> guard(gLock);
        if (!gCurrent || gCurrent->path != path) return {};
        reading = takeIt ? std::move(gCurrent) : gCurrent;
    }
    qv::ci::Image image;
    {
        std::unique_lock<std::mutex> guard(reading->lock);
        reading->finished.wait(guard, [&] { return reading->done; });
        image = takeIt ? std::move(reading->image) : reading->image;
    }
    FileStamp now;
    if (!stampOf(path, now) || !(now == reading->stamp)) return {};
    return image;
}

}  // namespace

qv::ci::Image take(const std::string& path) { return finishedReading(path, true); }

qv::ci::Image peek(const std::string& path) { return finishedReading(path, false); }

void drop() {
    std::lock_guard<std::mutex> guard(gLock);
    gCurrent.reset();
}

}  // namespace QVPhotoReadAhead
