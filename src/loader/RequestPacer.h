// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <optional>

namespace diarytrawl::web {

// Keeps the starts of requests to the network at least a gap apart: the journal sites' bot policy
// asks for one request at a time and at most five a second. Pages from the cache never ask it.
class RequestPacer {
public:
    using Clock = std::chrono::steady_clock;

    explicit RequestPacer(std::chrono::milliseconds gap)
        : m_gap(gap)
    {}

    // How long the next request must wait before it may start.
    std::chrono::milliseconds delayBeforeNext() const
    {
        if (!m_lastStart)
            return std::chrono::milliseconds(0);
        const auto ready = *m_lastStart + m_gap;
        const auto now = Clock::now();
        // Rounded up: a timer that fires a fraction of a millisecond early must not shorten the gap.
        return ready <= now ? std::chrono::milliseconds(0)
                            : std::chrono::ceil<std::chrono::milliseconds>(ready - now);
    }

    void requestStarts() { m_lastStart = Clock::now(); }
    // The request that started last went out only at sentAt, once its connection was made: the gap
    // counts from there, so that it holds where the server sees the requests.
    void requestSent(Clock::time_point sentAt)
    {
        if (m_lastStart && sentAt > *m_lastStart)
            m_lastStart = sentAt;
    }

private:
    std::chrono::milliseconds m_gap;
    std::optional<Clock::time_point> m_lastStart;
};

} // namespace diarytrawl::web
