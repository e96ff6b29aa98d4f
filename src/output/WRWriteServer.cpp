#include "output/WRWriteServer.h"

#include <tbb/concurrent_queue.h>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <system_error>

struct WRWriterProxy::Shared {
    struct Message {
        WRWriteRequest request;
        WRWriterProxy::Completion completion;
    };
    // A request, or nothing to tell the thread to end without writing.
    tbb::concurrent_bounded_queue<std::optional<Message>> messages;
    std::mutex lock;
    std::condition_variable readyChanged;
    bool ready = false;
    bool finished = false;
    bool sent = false;  // a request went out; only the first one is served
};

namespace {

class ThreadCountScope {
public:
    ThreadCountScope() { change(+1); }
    ~ThreadCountScope() { change(-1); }

private:
    static void change(int by) {
        std::lock_guard<std::mutex> guard(WRWriter::threadCountLock());
        WRWriter::threadCount() += by;
    }
};

// The writer thread: makes its writer, says it is ready, serves one message and ends.
void connectWithPorts(std::shared_ptr<WRWriterProxy::Shared> shared, WRWriterDelegate delegate) {
    {
        ThreadCountScope counted;
        WRWriter writer(std::move(delegate));
        {
            std::lock_guard<std::mutex> guard(shared->lock);
            shared->ready = true;
        }
        shared->readyChanged.notify_all();
        std::optional<WRWriterProxy::Shared::Message> message;
        shared->messages.pop(message);
        if (message) {
            const bool written = writer.writePhotoshopFile(message->request);
            if (message->completion) message->completion(written);
        }
    }
    std::lock_guard<std::mutex> guard(shared->lock);
    shared->finished = true;
}

}  // namespace

WRWriterProxy::WRWriterProxy(std::shared_ptr<Shared> shared, std::thread thread)
    : m_shared(std::move(shared)), m_thread(std::move(thread)) {}

WRWriterProxy::~WRWriterProxy() {
    m_shared->messages.push(std::nullopt);  // ignored when a write was already sent
    if (m_thread.joinable()) m_thread.join();
}

bool WRWriterProxy::writePhotoshopFile(WRWriteRequest request, Completion completion) {
    {
        std::lock_guard<std::mutex> guard(m_shared->lock);
        if (m_shared->sent) return false;
        m_shared->sent = true;
    }
    m_shared->messages.push(Shared::Message{std::move(request), std::move(completion)});
    return true;
}

bool WRWriterProxy::isFinished() const {
    std::lock_guard<std::mutex> guard(m_shared->lock);
    return m_shared->finished;
}

std::unique_ptr<WRWriterProxy> createPhotoshopWriteServer(WRWriterDelegate delegate,
                                                          std::chrono::milliseconds startLimit) {
    auto shared = std::make_shared<WRWriterProxy::Shared>();
    std::thread thread;
    try {
        thread = std::thread(connectWithPorts, shared, std::move(delegate));
    } catch (const std::system_error&) {
        return nullptr;
    }
    std::unique_lock<std::mutex> lock(shared->lock);
    if (!shared->readyChanged.wait_for(lock, startLimit, [&] { return shared->ready; })) {
        lock.unlock();
        // The thread may still come up later; told to end at once, it needs nobody to wait for it.
        shared->messages.push(std::nullopt);
        thread.detach();
        return nullptr;
    }
    lock.unlock();
    return std::unique_ptr<WRWriterProxy>(new WRWriterProxy(std::move(shared), std::move(thread)));
}
