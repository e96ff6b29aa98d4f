#pragma once
// A mutation run bounded by a count of inputs and by a time, whichever comes first. How busy the
// machine is (a sanitizer build, other builds beside it) decides how many inputs run, never whether
// the test passes or outlives its time-out. The run prints how many inputs it ran when it ends.
//
//     for (qvtest::MutationRun run("damaged presets", 2500); run.next();) {
//         ... input number run.index() ...
//     }
#include <chrono>
#include <cstdio>
#include <string>
#include <utility>

namespace qvtest {

// The time one mutation run may take: a fifth of the test time-out (300 s), so that the set-up, the
// input running when time is up and a sanitizer build on a loaded machine still leave room.
constexpr double kMutationSeconds = 60;

class MutationRun {
public:
    MutationRun(std::string what, int count, double seconds = kMutationSeconds)
        : m_what(std::move(what)),
          m_count(count),
          m_seconds(seconds),
          m_end(std::chrono::steady_clock::now() +
                std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds))) {}
    MutationRun(const MutationRun&) = delete;
    MutationRun& operator=(const MutationRun&) = delete;
    ~MutationRun() {
        if (ranAll())
            std::printf("%s: %d of %d inputs ran\n", m_what.c_str(), m_started, m_count);
        else
            std::printf("%s: %d of %d inputs ran, stopped at the bound of %g s\n", m_what.c_str(), m_started, m_count,
                        m_seconds);
        std::fflush(stdout);
    }

    // Starts the next input: true while fewer than the count have started and time is left. The
    // first input always runs.
    bool next() {
        if (m_started >= m_count) return false;
        if (m_started > 0 && std::chrono::steady_clock::now() >= m_end) return false;
        ++m_started;
        return true;
    }
    // The input running now, from 0.
    int index() const { return m_started - 1; }
    // Whether every input of the count ran: checks over the whole mix of a run's inputs (that some
    // were refused and some accepted) hold for the full run of a fixed seed, not for a part of it.
    bool ranAll() const { return m_started >= m_count; }

private:
    std::string m_what;
    int m_count;
    double m_seconds;
    std::chrono::steady_clock::time_point m_end;
    int m_started = 0;
};

}  // namespace qvtest
