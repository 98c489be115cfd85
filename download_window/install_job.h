// What the download window and its install worker share: the request to stop, the pauses a
// stop cuts short, the only way the worker reaches the windows, and the worker's end.
//
// The worker never waits for the UI thread: it only posts. Posting goes through a gate that a
// stop closes, so once RequestStop has returned the worker posts nothing more, and a program
// that ends can wait for the worker without any risk of the two waiting for each other.
#pragma once

#include "download_window/progress_relay.h"
#include "platform/win32_types.h"
#include "session/progress_detail.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>

struct QueuedMessage {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

// Where a job's status lines go (unattended runs print each once per whole percent); empty:
// nowhere.
using StatusLineSink = std::function<void(const std::wstring& line)>;

class InstallJob {
public:
    // The download window and the window it reports to (the main window); `verify`: the
    // installation reads the stick back (a third step).
    InstallJob(HWND window, HWND owner, StatusLineSink statusLines = {}, bool verify = true)
        : m_window(window), m_owner(owner), m_statusLines(std::move(statusLines)), m_lineDetail(verify)
    {
    }
    InstallJob(const InstallJob&) = delete;
    InstallJob& operator=(const InstallJob&) = delete;

    HWND Window() const { return m_window; }
    HWND Owner() const { return m_owner; }

    // Any thread. From its return on, Post sends nothing and Pause returns false at once.
    void RequestStop();
    bool StopRequested() const { return m_stop.load(std::memory_order_acquire); }
    // Set together with the stop request; for operations that poll a flag (the extraction).
    const std::atomic<bool>& StopFlag() const { return m_stop; }
    // Triggered together with the stop request; for the installation session.
    std::stop_token StopToken() const { return m_stopSource.get_token(); }

    // Worker: waits for `duration`, cut short by a stop request. False when stopped.
    bool Pause(std::chrono::milliseconds duration);
    // Any thread: posts the messages in order unless a stop was requested. False when a stop
    // was requested (nothing posted) or a post failed (the window is gone).
    bool Post(std::initializer_list<QueuedMessage> messages);

    // Any thread (the download thread, the worker): keeps the value for the UI thread, wakes
    // the window when no wake-up is pending (WM_INSTALL_PROGRESS), and hands the status line to
    // the sink once per whole percent (with the step, the speed and the time left once the
    // speed is known).
    void PublishProgress(const ProgressValue& value);
    // UI thread: the latest value published and not yet taken.
    std::optional<ProgressValue> TakeProgress() { return m_progress.Take(); }

    // Worker: its last act; no use of the window or this job's windows follows.
    void MarkEnded();
    bool Ended() const;
    // Waits until the worker has ended or `limit` has passed; true when it has ended.
    bool WaitForEnd(std::chrono::milliseconds limit) const;
    // Waits until the worker has ended, however long that takes.
    void WaitForEnd() const;

private:
    const HWND m_window;
    const HWND m_owner;
    const StatusLineSink m_statusLines;
    ProgressRelay m_progress;
    std::mutex m_lineDetailMutex;
    ProgressDetail m_lineDetail; // the figures of the sink's lines
    std::atomic<bool> m_stop{false};
    std::stop_source m_stopSource;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    bool m_ended = false;
};
