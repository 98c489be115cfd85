// One URL fetched into one local file on a thread of its own, with progress and an end the
// creator can poll. A transfer cut short (a network error, a stall) is taken up again where it
// stopped with a range request, after 1, 2, 4, 8 and 16 seconds; an HTTP error is final.
#pragma once

#include "net/body_digest.h"
#include "net/proxy_setting.h"
#include "platform/folder_handle.h"
#include "platform/win32_types.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

// Called on the download thread with (total bytes to receive, bytes received so far); total is
// 0 while the size is unknown. A non-zero result aborts the transfer.
using ProgressCallback = std::function<int(double total, double received)>;

// Which side a failed download failed on.
enum class DownloadFailure {
    None, // not failed (yet)
    Transfer, // the network, the server, a stall, a cancel: anything but the local file
    LocalFile, // opening, writing or closing the file it is saved to (disk full, read-only ...)
    Missing, // the server answered that the file is not there (404, 410)
    ProxyRefused, // a proxy asked for credentials (407)
    Changed, // cut again and again at one offset of the same version: the server's file changed
    Damaged, // the whole body came, but not with the digest the server sent for it
};

// The file whose body is being received: its validator (the ETag, else the Last-Modified date;
// empty when the server gave neither) and its whole length (-1 when unknown).
struct RemoteVersion {
    std::string validator;
    std::int64_t length = -1;
    bool operator==(const RemoteVersion&) const = default;
};

// An answer's validator: its ETag when that is strong, else its Last-Modified date (a weak ETag is
// never sent in If-Range); "" when there is neither.
std::string ChooseValidator(std::string_view etag, std::string_view lastModified);

// Called on the download thread when an answer's body is taken, before any of it is written:
// the version the bytes in the file now belong to.
using VersionCallback = std::function<void(const RemoteVersion& version)>;
// Called on the download thread with the count of the body's bytes now in the file, from its
// start: after every write, when an answer's body is taken (its first byte's place), and
// before the file is emptied for a new start (0). A count below the one before means that the
// bytes after it are gone.
using ExtentCallback = std::function<void(std::uint64_t bytesInFile)>;
// Called on the download thread before the download waits to try again: the try about to come
// (1 to 5) and the wait before it; then again as each second of the wait passes, with what is
// left of it (so a shown countdown goes down).
using RetryCallback = std::function<void(int attempt, std::chrono::milliseconds wait)>;
// Called on the download thread, once per request, when the server has taken the request and
// sent nothing of the body for a few seconds.
using WaitingCallback = std::function<void()>;

class FileDownloader {
public:
    // url: what to fetch; file: where the body goes, written from where the file stands (an
    // empty file the caller has just made, or one opened for appending, see SetResume). The
    // downloader owns and closes it.
    FileDownloader(std::string url, platform::WritableFile file);
    // Stops a running transfer (as Cancel does) and waits for its thread to end, so the
    // progress callback never runs afterwards. Not to be called from that callback.
    ~FileDownloader();

    FileDownloader(const FileDownloader&) = delete;
    FileDownloader& operator=(const FileDownloader&) = delete;

    // Call before Start. The progress counts the bytes already in the file.
    void SetProgressCallback(ProgressCallback callback);
    // The file already holds the first `offset` bytes of `version`: the transfer asks only for
    // the rest (Range, If-Range), and takes it only when the server answers with exactly that
    // part of that version; otherwise the file is emptied and the whole body fetched once more.
    // Call before Start.
    void SetResume(std::uint64_t offset, RemoteVersion version);
    void SetVersionCallback(VersionCallback callback);
    void SetRetryCallback(RetryCallback callback);
    void SetExtentCallback(ExtentCallback callback);
    // The wait before the first try again, doubled for each later one (1 s unless set, or
    // INSTALLER_RETRY_DELAY_MS). Call before Start.
    void SetFirstRetryDelay(std::chrono::milliseconds delay);
    // A transfer that receives less than 1 KiB per second for this long fails (60 s unless set).
    // Call before Start.
    void SetStallTimeout(std::chrono::seconds timeout);
    // How long an answer may keep its first byte back before it counts as stalled (the site
    // settings' first_byte_timeout_s unless set). Call before Start.
    void SetFirstByteTimeout(std::chrono::seconds timeout);
    void SetWaitingCallback(WaitingCallback callback);
    // How the requests reach the server (unset unless set). Call before Start.
    void SetProxy(net::ProxySetting proxy);

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
    struct Attempt;
    static DWORD DownloadThreadProc(LPVOID parameter);
    // `target` (and `attempt`) is the Attempt of the running request.
    static std::size_t WriteToFile(char* data, std::size_t size, std::size_t count, void* target);
    static int OnTransferProgress(void* attempt, std::int64_t downloadTotal, std::int64_t downloaded,
        std::int64_t uploadTotal, std::int64_t uploaded);
    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* attempt);
    // Runs the whole transfer with its tries again; the file is closed and the handle released
    // when it returns.
    bool Transfer();
    struct TransferEnd;
    // Sets what every try of the transfer shares on the libcurl easy handle.
    void ConfigureHandle(void* curl) const;
    // One request for the bytes from `have` on, on attempt.curl into attempt.file; how it
    // ended goes to attempt.result.
    void RunAttempt(Attempt& attempt, std::uint64_t have);
    // After a try that did not bring the whole file, with `have` bytes of it: true when the
    // transfer ends there (the file's side, a cancel, the server's answer, the same cut again
    // and again), with why in `end`.
    bool EndsTransfer(const Attempt& attempt, std::uint64_t have, TransferEnd& end) const;
    // Checks the digest of what was `received` in full, closes the file and says how the
    // transfer ended (m_failure and the diagnostic line on failure).
    bool EndTransfer(platform::WritableFile& file, TransferEnd end, bool received);
    // Waits before a try again; false when cancelled meanwhile.
    // Waits before try `attempt`, telling the retry callback at the start and each second.
    bool WaitBeforeRetry(int attempt, std::chrono::milliseconds wait) const;
    // The file against the digest its answer carried (none: it passes).
    bool HasExpectedDigest(const platform::WritableFile& file) const;

    const std::string m_url;
    std::optional<platform::WritableFile> m_file; // the download thread's once it runs
    std::atomic<bool> m_finished{false};
    ProgressCallback m_progressCallback;
    std::atomic<bool> m_failed{false};
    DownloadFailure m_failure = DownloadFailure::None; // written before `m_failed` is set
    std::stop_source m_cancel; // Cancel: waits end at once, the transfer within about a second
    std::chrono::seconds m_stallTimeout{60};
    std::chrono::seconds m_firstByteTimeout;
    WaitingCallback m_waitingCallback;
    net::ProxySetting m_proxy;
    std::uint64_t m_offset = 0; // bytes of m_version in the file before the transfer starts
    RemoteVersion m_version;
    VersionCallback m_versionCallback;
    RetryCallback m_retryCallback;
    ExtentCallback m_extentCallback;
    std::chrono::milliseconds m_firstRetryDelay;
    // Bytes in the file that precede what the running try receives (its progress starts there).
    std::atomic<std::uint64_t> m_progressBase{0};
    // The whole length the taken answer named in its Content-Range (-1: none), for an answer
    // without Content-Length.
    std::atomic<std::int64_t> m_rangeTotal{-1};
    // The digest of the whole file that the taken answer carried.
    std::optional<net::BodyDigest> m_digest;

    struct ThreadHandleClose {
        void operator()(HANDLE handle) const;
    };
    // The download thread, kept so that the destructor can wait for it.
    std::unique_ptr<void, ThreadHandleClose> m_thread;
};
