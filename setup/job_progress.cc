#include "setup/job_progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace orvella {

namespace {

// A rate needs some time behind it to mean anything.
constexpr double kMinRateSeconds = 0.5;

std::string DurationText(double seconds) {
    const auto whole = static_cast<int64_t>(std::ceil(seconds));
    char text[48];
    if (whole < 60) {
        std::snprintf(text, sizeof(text), "%lld s", static_cast<long long>(whole));
    } else if (whole < 3600) {
        std::snprintf(text, sizeof(text), "%lld min %02lld s", static_cast<long long>(whole / 60),
                      static_cast<long long>(whole % 60));
    } else {
        std::snprintf(text, sizeof(text), "%lld h %02lld min", static_cast<long long>(whole / 3600),
                      static_cast<long long>(whole / 60 % 60));
    }
    return text;
}

}  // namespace

int JobProgress::Permille() const {
    if (total < 0)
        return -1;
    if (total == 0)
        return 1000;
    return static_cast<int>(std::clamp<int64_t>(done, 0, total) * 1000 / total);
}

void CProgressMeter::Start(int64_t total, double now) {
    m_current = JobProgress{};
    m_current.total = total;
    m_start = now;
    m_lastShown = -1;
    m_lastPermille = -1;
    m_lastDone = -1;
}

bool CProgressMeter::Update(int64_t done, double now) {
    m_current.done = done;
    const double elapsed = now - m_start;
    if (elapsed >= kMinRateSeconds) {
        m_current.bytesPerSecond = static_cast<double>(done) / elapsed;
        if (m_current.total >= 0 && m_current.bytesPerSecond > 0) {
            m_current.secondsLeft =
                static_cast<double>(std::max<int64_t>(m_current.total - done, 0)) /
                m_current.bytesPerSecond;
        }
    }
    const int permille = m_current.Permille();
    const bool worth = m_lastShown < 0 || (done == m_current.total && done != m_lastDone) ||
                       permille / 10 != m_lastPermille / 10 || now - m_lastShown >= kMinInterval;
    if (worth) {
        m_lastShown = now;
        m_lastPermille = permille;
        m_lastDone = done;
    }
    return worth;
}

bool CProgressMeter::Finish(double now) {
    if (m_lastDone == m_current.done)
        return false;
    m_lastShown = now;
    m_lastPermille = m_current.Permille();
    m_lastDone = m_current.done;
    return true;
}

std::string ByteText(int64_t bytes) {
    char text[48];
    if (bytes < 1024) {
        std::snprintf(text, sizeof(text), "%lld bytes", static_cast<long long>(bytes));
    } else if (bytes < 1024 * 1024) {
        std::snprintf(text, sizeof(text), "%.1f KB", static_cast<double>(bytes) / 1024);
    } else if (bytes < 1024LL * 1024 * 1024) {
        std::snprintf(text, sizeof(text), "%.1f MB", static_cast<double>(bytes) / (1024 * 1024));
    } else {
        std::snprintf(text, sizeof(text), "%.2f GB",
                      static_cast<double>(bytes) / (1024.0 * 1024 * 1024));
    }
    return text;
}

std::string ProgressText(const JobProgress& progress) {
    std::string text;
    if (progress.total >= 0) {
        text = std::to_string(progress.Permille() / 10) + "% " + ByteText(progress.done) + " of " +
               ByteText(progress.total);
    } else {
        text = ByteText(progress.done);
    }
    if (progress.bytesPerSecond > 0) {
        text += ", " + ByteText(static_cast<int64_t>(progress.bytesPerSecond)) + "/s";
    }
    if (progress.secondsLeft >= 0 && progress.done < progress.total) {
        text += ", " + DurationText(progress.secondsLeft) + " left";
    }
    return text;
}

}  // namespace orvella
