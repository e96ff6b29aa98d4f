#pragma once
// The result of a call whose only answer is "it worked, or why not": empty when it worked, the
// reason when it did not. It converts to true when the call worked, as a call returning bool does,
// so `if (!outcome) show(outcome.reason());` reads the same way. A failure stays a failure even
// when its reason is empty.
#include <string>
#include <utility>

namespace qv {

class [[nodiscard]] Outcome {
public:
    static Outcome success() { return Outcome(); }
    static Outcome failure(std::string reason) { return Outcome(std::move(reason)); }

    bool ok() const { return !m_failed; }
    bool failed() const { return m_failed; }
    explicit operator bool() const { return ok(); }
    // Why the call failed; empty when it worked.
    const std::string& reason() const { return m_reason; }

private:
    Outcome() = default;
    explicit Outcome(std::string reason) : m_failed(true), m_reason(std::move(reason)) {}

    bool m_failed = false;
    std::string m_reason;
};

}  // namespace qv
