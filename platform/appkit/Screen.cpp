#include "appkit/Screen.h"

#include <mutex>

namespace qv::ui {

namespace {

std::mutex& sourceMutex() {
    static std::mutex mutex;
    return mutex;
}

std::function<std::vector<Rect>()>& source() {
    static std::function<std::vector<Rect>()> current;
    return current;
}

}  // namespace

std::vector<Rect> screenFrames() {
    std::function<std::vector<Rect>()> current;
    {
        std::lock_guard<std::mutex> lock(sourceMutex());
        current = source();
    }
    return current ? current() : std::vector<Rect>{};
}

void setScreenFramesSource(std::function<std::vector<Rect>()> frames) {
    std::lock_guard<std::mutex> lock(sourceMutex());
    source() = std::move(frames);
}

}  // namespace qv::ui
