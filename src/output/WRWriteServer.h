#pragma once
// The write server: each document is written by a WRWriter on a thread of its own, which the
// caller reaches through a proxy. The caller only waits, within a time limit, for the writer to be
// ready; the write itself is sent one-way and reports its end through the delegate.
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "output/WRWriter.h"

class WRWriterProxy {
public:
    ~WRWriterProxy();  // lets a write in progress finish, then ends the thread
    WRWriterProxy(const WRWriterProxy&) = delete;
    WRWriterProxy& operator=(const WRWriterProxy&) = delete;

    // Called on the writer thread once the write has ended and its final status was posted.
    using Completion = std::function<void(bool written)>;

    // One-way: hands the request to the writer thread and returns at once; the outcome arrives as
    // the write's final status and through `completion`. The thread serves one write and then
    // ends: false, and nothing sent, when this proxy already has one.
    bool writePhotoshopFile(WRWriteRequest request, Completion completion = {});

    // True once the writer thread has ended (after its write, or without one).
    bool isFinished() const;

    struct Shared;  // the queue and the start and end flags both threads see

private:
    friend std::unique_ptr<WRWriterProxy> createPhotoshopWriteServer(WRWriterDelegate, std::chrono::milliseconds);
    WRWriterProxy(std::shared_ptr<Shared> shared, std::thread thread);

    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
};

// Starts a writer thread with its own WRWriter and waits at most `startLimit` for it to be ready.
// Null when the thread could not be started or was not ready in time.
std::unique_ptr<WRWriterProxy> createPhotoshopWriteServer(
    WRWriterDelegate delegate, std::chrono::milliseconds startLimit = std::chrono::seconds(10));
