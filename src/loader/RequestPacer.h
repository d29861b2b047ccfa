// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QString>

#include <chrono>
#include <deque>
#include <optional>

namespace diarytrawl::web {

// Keeps the starts of requests to each site at least the site's pace apart: the journal sites ask bots
// for one request at a time, and each allows so many in a while. Pages from the cache never ask it.
// A site that answers 429 has met its limit: its pace grows for as long as the pacer lives, so that the
// limit is not met again. Every wait is timeScale times as long as the pace says (tests shorten them).
class RequestPacer {
public:
    using Clock = std::chrono::steady_clock;
    using Milliseconds = std::chrono::milliseconds;

    static constexpr Milliseconds LongestPace{30000};

    explicit RequestPacer(double timeScale = 1.0)
        : m_timeScale(timeScale)
    {}

    // The site's pace from now on, unless it has one already.
    void setPace(const QString &site, Milliseconds pace)
    {
        if (!m_sites.contains(site))
            m_sites.insert(site, Site{pace, {}, {}});
    }
    Milliseconds pace(const QString &site) const
    {
        const auto found = m_sites.constFind(site);
        return found == m_sites.cend() ? Milliseconds(0) : found->pace;
    }

    // How long the next request to the site must wait before it may start.
    Milliseconds delayBeforeNext(const QString &site) const
    {
        const auto found = m_sites.constFind(site);
        if (found == m_sites.cend() || !found->lastStart)
            return Milliseconds(0);
        // A little is added for the time a request takes to reach the server, which varies.
        const auto ready = *found->lastStart + scaled(found->pace + Milliseconds(15));
        const auto now = Clock::now();
        // Rounded up: a timer that fires a fraction of a millisecond early must not shorten the gap.
        return ready <= now ? Milliseconds(0) : std::chrono::ceil<Milliseconds>(ready - now);
    }

    void requestStarts(const QString &site)
    {
        Site &entry = m_sites[site];
        entry.lastStart = Clock::now();
        entry.starts.push_back(*entry.lastStart);
        while (entry.starts.size() > MaxStartsKept)
            entry.starts.pop_front();
    }

    // The request that started last went out only at sentAt, once its connection was made: the gap
    // counts from there, so that it holds where the server sees the requests.
    void requestSent(const QString &site, Clock::time_point sentAt)
    {
        Site &entry = m_sites[site];
        if (entry.lastStart && sentAt > *entry.lastStart) {
            entry.lastStart = sentAt;
            if (!entry.starts.empty())
                entry.starts.back() = sentAt;
        }
    }

    // The site answered the last request with 429, asking to wait retryAfter (nothing when it did not
    // say). A limit that is met after n requests within retryAfter allows about n - 1 in that time (the
    // refused one did not count); the pace becomes a quarter slower than that, and at least a quarter
    // slower than it was. Returns whether the pace grew.
    bool limitMet(const QString &site, std::optional<std::chrono::seconds> retryAfter)
    {
        Site &entry = m_sites[site];
        Milliseconds wanted = entry.pace * 5 / 4;
        if (retryAfter && retryAfter->count() > 0) {
            const auto since = Clock::now() - scaled(*retryAfter);
            qint64 allowed = -1; // the refused request went out too
            for (const Clock::time_point start : entry.starts)
                allowed += start >= since ? 1 : 0;
            const Milliseconds window = *retryAfter;
            wanted = std::max(wanted, Milliseconds(window * 5 / 4 / std::max<qint64>(allowed, 1)));
        } else {
            wanted = std::max(wanted, Milliseconds(entry.pace * 2));
        }
        // Round up to a tenth of a second, as the log says it.
        const Milliseconds grown = std::min(LongestPace, (wanted + Milliseconds(99)) / 100 * 100);
        if (grown <= entry.pace)
            return false;
        entry.pace = grown;
        return true;
    }

private:
    static constexpr std::size_t MaxStartsKept = 1000;

    struct Site {
        Milliseconds pace{0};
        std::optional<Clock::time_point> lastStart;
        std::deque<Clock::time_point> starts; // the latest ones, oldest first
    };

    Clock::duration scaled(Milliseconds duration) const
    {
        return std::chrono::duration_cast<Clock::duration>(duration * m_timeScale);
    }

    double m_timeScale;
    QHash<QString, Site> m_sites;
};

} // namespace diarytrawl::web
