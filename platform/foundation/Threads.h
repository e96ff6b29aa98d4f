#pragma once
// The main thread, and detached worker threads that a test can wait for.
//
// Worker threads do the long work (profile extraction, saves, the unwrap worker, batch runs) and
// hand their interface work to the main thread (RunLoop.h). They are detached from whoever starts
// them, who never joins them, but every one is counted, so a test or a clean shut-down can wait
// until all have ended; the wait also joins them, so none is still leaving the process after it.
#include <cstddef>
#include <functional>

namespace qv {

// The process's first thread, which runs the interface and the main run loop.
bool isMainThread();

// Starts `body` on a new detached thread. An exception that escapes `body` is reported on the
// standard error stream and ends only that thread. False when no thread could be started.
bool detachThread(std::function<void()> body);

// How many detached threads have not ended yet.
std::size_t detachedThreadCount();

// Waits until every detached thread has ended, at most `timeoutSeconds`, and joins those that have.
// On the main thread the main run loop keeps running meanwhile, so workers that wait for the main
// thread can finish. True when none is left.
bool waitForDetachedThreads(double timeoutSeconds);

}  // namespace qv
