#include "foundation/Assert.h"

#include <cstdio>
#include <exception>
#include <mutex>

namespace qv {

namespace {
std::mutex gMutex;
std::size_t gCount = 0;
std::string gLastMessage;
}  // namespace

void assertionFailed(const char* message, const char* file, int line) {
    const char* text = message ? message : "";
    {
        std::lock_guard<std::mutex> lock(gMutex);
        ++gCount;
        gLastMessage = text;
    }
    std::fprintf(stderr, "assertion failed: %s (%s:%d)\n", text, file ? file : "?", line);
}

std::size_t assertionFailureCount() {
    std::lock_guard<std::mutex> lock(gMutex);
    return gCount;
}

std::string lastAssertionMessage() {
    std::lock_guard<std::mutex> lock(gMutex);
    return gLastMessage;
}

bool runReportingExceptions(const char* where, const std::function<void()>& work) {
    try {
        work();
        return true;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", where, e.what());
    } catch (...) {
        std::fprintf(stderr, "%s: an exception\n", where);
    }
    return false;
}

}  // namespace qv
