#pragma once
// Checks for conditions that must not happen. A failed check writes its fixed message to the
// standard error stream and the program goes on (also in debug builds): the callers handle the
// failure the way they would without the check, and tests can drive those paths and see that the
// check fired.
#include <cstddef>
#include <functional>
#include <string>

namespace qv {

// Reports a failed check: "assertion failed: <message> (<file>:<line>)" on standard error.
void assertionFailed(const char* message, const char* file, int line);

// How many checks have failed in this process, and the message of the last one ("" when none).
std::size_t assertionFailureCount();
std::string lastAssertionMessage();

// Runs `work`; an exception that escapes it is written to standard error ("<where>: <what>") instead
// of ending the program. True when no exception escaped.
bool runReportingExceptions(const char* where, const std::function<void()>& work);

}  // namespace qv

#define QVAssert(condition, message)                                         \
    do {                                                                     \
        if (!(condition)) ::qv::assertionFailed((message), __FILE__, __LINE__); \
    } while (0)
