// Progress handed from the threads that make it (the download thread, the install worker) to
// the UI thread that shows it. Only the latest value is kept, and only one wake-up of the UI
// thread is outstanding at a time, so a fast transfer cannot flood the window's queue; the UI
// thread paces what it shows (ProgressPacer) and always ends up showing the latest value.
#pragma once

#include "platform/win32_types.h"
#include "session/progress_value.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

// The status line and the bar value of a progress value: "正在下载文件：%d%%",
// "正在写入文件%6.2lf%%" and "正在校验文件%6.2lf%%", the bar at the percentage truncated towards
// zero.
std::wstring ProgressStatusText(const ProgressValue& value);
int ProgressBarValue(const ProgressValue& value);

class ProgressRelay {
public:
    struct Published {
        // No wake-up was outstanding: the publisher must wake the UI thread (one posted message).
        bool wakeUi = false;
        // The whole percentage (or the phase) differs from the previous value published, and
        // the status line differs from the last one so reported: "%6.2lf" rounds 99.996 up to
        // the "100.00%" that 100 shows as well.
        bool newWholePercent = false;
    };

    // Any thread. Keeps `value` as the latest.
    Published Publish(const ProgressValue& value);
    // UI thread: the latest value when one was published since the last Take, and from now on
    // the next Publish asks for a wake-up again.
    std::optional<ProgressValue> Take();

private:
    std::mutex m_mutex;
    ProgressValue m_latest;
    bool m_fresh = false; // published since the last Take
    bool m_wakePending = false; // a wake-up was asked for and no Take has run since
    std::optional<int> m_lastWhole;
    std::wstring m_lastLine; // the status line of the last value with newWholePercent
    ProgressPhase m_lastPhase = ProgressPhase::Download;
};

// When the UI thread may show the next value: at most one update per interval.
class ProgressPacer {
public:
    explicit ProgressPacer(DWORD intervalMs) : m_intervalMs(intervalMs) {}

    // Milliseconds to wait before showing, at tick count `now`; 0: show now.
    DWORD DelayAt(DWORD now) const;
    void ShownAt(DWORD now) { m_lastShown = now; }

private:
    DWORD m_intervalMs;
    std::optional<DWORD> m_lastShown;
};
