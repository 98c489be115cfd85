// One URL fetched into one local file on a thread of its own, with progress and an end the
// creator can poll.
#pragma once

#include "platform/folder_handle.h"
#include "platform/win32_types.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// Called on the download thread with (total bytes to receive, bytes received so far); total is
// 0 while the size is unknown. A non-zero result aborts the transfer.
using ProgressCallback = std::function<int(double total, double received)>;

// Which side a failed download failed on.
enum class DownloadFailure {
    None, // not failed (yet)
    Transfer, // the network, the server, a stall, a cancel: anything but the local file
    LocalFile, // opening, writing or closing the file it is saved to (disk full, read-only ...)
};

class FileDownloader {
public:
    // url: what to fetch; file: where the body goes, written from where the file stands (an
    // empty file the caller has just made). The downloader owns and closes it.
    FileDownloader(std::string url, platform::WritableFile file);
    // Stops a running transfer (as Cancel does) and waits for its thread to end, so the
    // progress callback never runs afterwards. Not to be called from that callback.
    ~FileDownloader();

    FileDownloader(const FileDownloader&) = delete;
    FileDownloader& operator=(const FileDownloader&) = delete;

    // Call before Start.
    void SetProgressCallback(ProgressCallback callback);
    // A transfer that receives less than 1 KiB per second for this long fails (60 s unless set).
    // Call before Start.
    void SetStallTimeout(std::chrono::seconds timeout);

    // Starts the download thread; false when it could not be started (or was started before).
    bool Start();
    // True once the whole body is in the file and the file is closed.
    bool IsFinished() const;
    // True once the transfer has ended without success (or could not start) and the file is
    // closed. The bytes already written stay in the file.
    bool IsFailed() const;
    // Which side failed, once IsFailed(); None before.
    DownloadFailure Failure() const;
    // Asks a running transfer to stop; it then ends as failed, within about a second.
    void Cancel();

private:
    static DWORD DownloadThreadProc(LPVOID parameter);
    // `target` is the WriteTarget of the transfer.
    static std::size_t WriteToFile(char* data, std::size_t size, std::size_t count, void* target);
    static int OnTransferProgress(void* downloader, std::int64_t downloadTotal, std::int64_t downloaded,
        std::int64_t uploadTotal, std::int64_t uploaded);
    // Runs the whole transfer; the file is closed and the handle released when it returns.
    bool Transfer();

    const std::string m_url;
    platform::WritableFile m_file; // the download thread's once it runs
    std::atomic<bool> m_finished{false};
    ProgressCallback m_progressCallback;
    std::atomic<bool> m_failed{false};
    DownloadFailure m_failure = DownloadFailure::None; // written before `m_failed` is set
    std::atomic<bool> m_cancelled{false};
    std::chrono::seconds m_stallTimeout{60};

    struct ThreadHandleClose {
        void operator()(HANDLE handle) const;
    };
    // The download thread, kept so that the destructor can wait for it.
    std::unique_ptr<void, ThreadHandleClose> m_thread;
};
