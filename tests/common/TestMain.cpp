// Test entry point shared by every test program: each test case runs with a HOME of its own, so the
// support folder, the preferences file and the user defaults of one case never leak into another.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "TempDir.h"

#include "coreimage/ParallelWorkers.h"
#include "foundation/Threads.h"

#ifdef QV_TSAN
#include <oneapi/tbb/global_control.h>
#endif

namespace {

class FreshHomePerTest : public testing::EmptyTestEventListener {
public:
    void OnTestStart(const testing::TestInfo&) override {
        m_home = std::make_unique<qvtest::TempDir>("qvhome");
        setenv("HOME", m_home->path().c_str(), 1);
        setenv("TMPDIR", m_home->path().c_str(), 1);
    }
    void OnTestEnd(const testing::TestInfo&) override {
        setenv("TMPDIR", "/tmp", 1);
        m_home.reset();
    }

private:
    std::unique_ptr<qvtest::TempDir> m_home;
};

int runTests(int argc, char** argv) {
#ifdef QV_TSAN
    // Debian's oneTBB is not built with ThreadSanitizer, so the hand-offs between its worker threads
    // are invisible to it and every parallel loop would be reported as a race. Under ThreadSanitizer
    // the loops run on the thread that calls them; the program's own threads (save, unwrap, batch,
    // write server) are still checked against each other.
    tbb::global_control serialLoops(tbb::global_control::max_allowed_parallelism, 1);
#endif
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new FreshHomePerTest);
    return RUN_ALL_TESTS();
}

}  // namespace

int main(int argc, char** argv) {
    const int status = runTests(argc, argv);
    // The sanitizers check the process at exit; no worker may still be running or leaving it then.
    qv::waitForDetachedThreads(60);
    qv::ci::endParallelWorkers();
    return status;
}
