#include "net/file_downloader.h"

#include "net/curl_easy.h"
#include "net/file_downloader_attempt.h"
#include "net/header_field.h"
#include "net/proxy_setting.h"
#include "net/site_settings.h"
#include "net/stall_watch.h"
#include "platform/diagnostics.h"
#include "platform/win32_files.h"
#include "platform/win32_system.h"

#include "platform/elevation.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <type_traits>
#include <utility>

namespace {

// libcurl's default 16 KiB receive buffer halves the loopback throughput; 512 KiB matches curl.
constexpr long kReceiveBufferBytes = 512 * 1024;
constexpr long kConnectTimeoutMs = 30'000;
// Tries again after a cut transfer; the waits double from the first.
constexpr int kRetries = 5;
constexpr std::chrono::milliseconds kFirstRetryDelay{1000};
// Cut this many times at one offset, each time after the same version's answer was taken: the
// server (a cache holding part of an older version) will cut there again.
constexpr int kCutsAtOneOffset = 3;

struct SlistFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, SlistFree>;

// Redirects are not followed, so only a 2xx answer carries the body asked for.
CURLcode CheckResponseStatus(CURL* curl)
{
    const long status = net::ResponseStatus(curl);
    return status == 0 || net::IsSuccessStatus(status) ? CURLE_OK : CURLE_HTTP_RETURNED_ERROR;
}

// What a cut connection or a passing network fault ends a request with: worth another try.
// Anything else (an HTTP error, a certificate refused, a cancel) ends the same way again.
bool IsPassingFault(CURLcode result)
{
    switch (result) {
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_PARTIAL_FILE:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_PROXY:
        return true;
    default:
        return false;
    }
}

// A cut connection, as opposed to one that never carried an answer.
bool IsCut(CURLcode result) { return result == CURLE_PARTIAL_FILE || result == CURLE_RECV_ERROR; }

bool IsWeak(std::string_view validator) { return validator.starts_with("W/"); }

// A proxy's refusal of a tunnel (CONNECT) is its status; otherwise the answer's.
long FailedStatus(CURL* curl)
{
    long proxyStatus = 0;
    curl_easy_getinfo(curl, CURLINFO_HTTP_CONNECTCODE, &proxyStatus);
    return proxyStatus == 407 ? proxyStatus : net::ResponseStatus(curl);
}

std::chrono::milliseconds FirstRetryDelayFromEnvironment()
{
    const char* value = platform::SettingFromEnvironment("INSTALLER_RETRY_DELAY_MS");
    if (value == nullptr)
        return kFirstRetryDelay;
    const auto number = net::HeaderNumber(value);
    return number ? std::chrono::milliseconds(*number) : kFirstRetryDelay;
}

} // namespace

std::string ChooseValidator(std::string_view etag, std::string_view lastModified)
{
    return std::string(!etag.empty() && !IsWeak(etag) ? etag : lastModified);
}

FileDownloader::FileDownloader(std::string url, platform::WritableFile file)
    : m_url(std::move(url)), m_file(std::move(file)), m_firstByteTimeout(net::FirstByteTimeout()),
      m_firstRetryDelay(FirstRetryDelayFromEnvironment())
{
}

FileDownloader::~FileDownloader()
{
    Cancel();
    if (m_thread) {
        WaitForSingleObject(m_thread.get(), INFINITE);
    }
}

void FileDownloader::ThreadHandleClose::operator()(HANDLE handle) const { CloseHandle(handle); }

void FileDownloader::SetProgressCallback(ProgressCallback callback) { m_progressCallback = std::move(callback); }

void FileDownloader::SetStallTimeout(std::chrono::seconds timeout) { m_stallTimeout = timeout; }

void FileDownloader::SetFirstByteTimeout(std::chrono::seconds timeout) { m_firstByteTimeout = timeout; }

void FileDownloader::SetWaitingCallback(WaitingCallback callback) { m_waitingCallback = std::move(callback); }

void FileDownloader::SetProxy(net::ProxySetting proxy) { m_proxy = std::move(proxy); }

void FileDownloader::SetResume(std::uint64_t offset, RemoteVersion version)
{
    m_offset = offset;
    m_version = std::move(version);
}

void FileDownloader::SetVersionCallback(VersionCallback callback) { m_versionCallback = std::move(callback); }

void FileDownloader::SetRetryCallback(RetryCallback callback) { m_retryCallback = std::move(callback); }

void FileDownloader::SetExtentCallback(ExtentCallback callback) { m_extentCallback = std::move(callback); }

void FileDownloader::SetFirstRetryDelay(std::chrono::milliseconds delay) { m_firstRetryDelay = delay; }

bool FileDownloader::Start()
{
    if (m_thread || IsFinished() || IsFailed()) {
        return false;
    }
    m_thread.reset(CreateThread(nullptr, 0, &FileDownloader::DownloadThreadProc, this, 0, nullptr));
    if (!m_thread) {
        // Nothing will run, so the owner learns it the same way as any other failure.
        m_failure = DownloadFailure::Transfer;
        m_failed.store(true, std::memory_order_release);
        return false;
    }
    return true;
}

bool FileDownloader::IsFinished() const { return m_finished.load(std::memory_order_acquire); }

bool FileDownloader::IsFailed() const { return m_failed.load(std::memory_order_acquire); }

DownloadFailure FileDownloader::Failure() const { return IsFailed() ? m_failure : DownloadFailure::None; }

void FileDownloader::Cancel() { m_cancel.request_stop(); }

DWORD FileDownloader::DownloadThreadProc(LPVOID parameter)
{
    FileDownloader& self = *static_cast<FileDownloader*>(parameter);
    // Transfer() has closed the file and released the handle when it returns, so whoever sees
    // either flag may use or remove the file at once.
    const bool succeeded = self.Transfer();
    (succeeded ? self.m_finished : self.m_failed).store(true, std::memory_order_release);
    return succeeded ? 0 : static_cast<DWORD>(-1);
}

// How the tries of one transfer ended, for EndTransfer.
struct FileDownloader::TransferEnd {
    CURLcode result = CURLE_OK;
    int localError = 0; // errno of the file's side, 0 when the file never failed
    long failedStatus = 0; // the HTTP status that ended the transfer
    bool changed = false; // cut at one offset again and again: the file on the server changed
    std::uint64_t lastCut = 0;
    int cutsThere = 0; // the tries cut at lastCut in a row
};

bool FileDownloader::EndsTransfer(const Attempt& attempt, std::uint64_t have, TransferEnd& end) const
{
    if (attempt.error != 0) {
        end.localError = attempt.error;
        return true; // the file's side: trying again would fail the same way
    }
    if (m_cancel.stop_requested())
        return true;
    if (const long status = FailedStatus(attempt.curl); status == 407 || end.result == CURLE_HTTP_RETURNED_ERROR) {
        end.failedStatus = status;
        return true; // the server's (or the proxy's) answer: it answers the same way again
    }
    if (attempt.taken && IsCut(end.result) && !m_version.validator.empty()) {
        end.cutsThere = have == end.lastCut ? end.cutsThere + 1 : 1;
        end.lastCut = have;
        if (end.cutsThere == kCutsAtOneOffset) {
            end.changed = true;
            return true;
        }
    }
    return false;
}

void FileDownloader::ConfigureHandle(void* curl) const
{
    curl_easy_setopt(curl, CURLOPT_URL, m_url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &FileDownloader::WriteToFile);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &FileDownloader::OnHeader);
    net::UseVerifiedTls(curl);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
    // The progress function also carries Cancel and the stall rule (libcurl's low-speed limit
    // would count the wait for the first byte as well), so it is installed with or without a
    // callback.
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &FileDownloader::OnTransferProgress);
}

void FileDownloader::RunAttempt(Attempt& attempt, std::uint64_t have)
{
    CURL* const curl = attempt.curl;
    attempt.downloader = this;
    attempt.rangeStart = have;
    attempt.watch.emplace(m_firstByteTimeout, m_stallTimeout, net::StallWatch::Clock::now());
    m_progressBase.store(have, std::memory_order_relaxed);
    m_rangeTotal.store(-1, std::memory_order_relaxed);
    HeaderList headers;
    const std::string range = std::to_string(have) + "-";
    if (have > 0) {
        headers.reset(curl_slist_append(nullptr, ("If-Range: " + m_version.validator).c_str()));
        curl_easy_setopt(curl, CURLOPT_RANGE, range.c_str());
    } else {
        curl_easy_setopt(curl, CURLOPT_RANGE, nullptr);
    }
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &attempt);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &attempt);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &attempt);

    CURLcode result = curl_easy_perform(curl);
    // The header list goes when this returns; the handle must not point at it.
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    if (result == CURLE_ABORTED_BY_CALLBACK && attempt.stalled)
        result = CURLE_OPERATION_TIMEDOUT;
    if (result == CURLE_OK)
        result = CheckResponseStatus(curl);
    attempt.result = result;
}

bool FileDownloader::Transfer()
{
    static_assert(std::is_same_v<decltype(&FileDownloader::WriteToFile), curl_write_callback>);
    static_assert(std::is_same_v<decltype(&FileDownloader::OnHeader), curl_write_callback>);
    static_assert(std::is_same_v<decltype(&FileDownloader::OnTransferProgress), curl_xferinfo_callback>);

    const net::CurlEasy handle = net::MakeCurlEasy(m_proxy);
    if (!handle) {
        platform::WriteDiagnosticLine("Failed to initialize libcurl.");
        m_failure = DownloadFailure::Transfer;
        return false;
    }
    if (!m_file) {
        platform::WriteDiagnosticLine("Failed to open file for writing. (the download's file was used already)");
        m_failure = DownloadFailure::LocalFile;
        return false;
    }
    platform::WritableFile file = std::move(*m_file);
    m_file.reset();
    CURL* const curl = handle.get();
    ConfigureHandle(curl);

    // The bytes of m_version in the file. Without a validator nothing tells that the rest on
    // the server still belongs to them (a weak ETag tells nothing either).
    std::uint64_t have = m_version.validator.empty() || IsWeak(m_version.validator) ? 0 : m_offset;
    TransferEnd end;
    // Empties the file for a body from its start; false (with the reason kept) when the file
    // cannot be emptied: the body would then follow bytes of another version.
    const auto emptyFile = [this, &file, &have, &end] {
        have = 0;
        if (m_extentCallback)
            m_extentCallback(0);
        const platform::Result<void> emptied = file.TruncateToEmpty();
        if (!emptied)
            end.localError = emptied.Failure().code != 0 ? emptied.Failure().code : EIO;
        return emptied.Ok();
    };
    const bool keepsOtherBytes =
        m_offset > 0 && (have == 0 || (m_version.length >= 0 && have > static_cast<std::uint64_t>(m_version.length)));
    if (keepsOtherBytes && !emptyFile())
        return EndTransfer(file, end, false);
    bool startedAgain = false;
    for (int retries = 0;;) {
        if (m_version.length >= 0 && have > 0 && have == static_cast<std::uint64_t>(m_version.length))
            break; // every byte is there already
        Attempt attempt;
        attempt.curl = curl;
        attempt.file = &file;
        attempt.mayStartAgain = !startedAgain;
        RunAttempt(attempt, have);
        end.result = attempt.result;
        if (attempt.taken)
            have = attempt.base + attempt.written;
        startedAgain = startedAgain || attempt.emptied;
        if (end.result == CURLE_OK && m_version.length >= 0 && have != static_cast<std::uint64_t>(m_version.length))
            end.result = CURLE_PARTIAL_FILE;
        if (end.result == CURLE_OK)
            break;
        if (EndsTransfer(attempt, have, end))
            break;
        if (attempt.decided && !attempt.taken) {
            // An answer that does not continue the file: once, the whole body from the start.
            if (startedAgain)
                break;
            startedAgain = true;
            if (!emptyFile())
                break;
            continue;
        }
        if (!IsPassingFault(end.result) || retries == kRetries)
            break;
        platform::WriteDiagnosticLine(std::string("Download interrupted: ") + curl_easy_strerror(end.result) +
            " after " + std::to_string(have) + " bytes; trying again");
        if (m_version.validator.empty() && have > 0 && !emptyFile())
            break;
        ++retries;
        const std::chrono::milliseconds wait = m_firstRetryDelay * (1 << (retries - 1));
        if (!WaitBeforeRetry(retries, wait))
            break;
    }
    return EndTransfer(file, end, end.result == CURLE_OK && end.localError == 0);
}

bool FileDownloader::EndTransfer(platform::WritableFile& file, TransferEnd end, bool received)
{
    bool damaged = false;
    if (received && !HasExpectedDigest(file)) {
        // Nothing of a body that is not the file stays; a file that cannot be emptied is
        // removed by whoever made it, as every failed download is.
        damaged = true;
        if (const platform::Result<void> emptied = file.TruncateToEmpty(); !emptied)
            platform::WriteDiagnosticLine("digest: the damaged file stays as it is: " + emptied.Failure().Text());
    }
    // Some file systems report a failed write only at the close.
    if (const platform::Result<void> closed = file.Close(); !closed && end.localError == 0) {
        end.localError = closed.Failure().code;
        if (end.result == CURLE_OK)
            end.result = CURLE_WRITE_ERROR;
    }
    if (end.localError != 0 && end.result == CURLE_OK)
        end.result = CURLE_WRITE_ERROR;
    if (damaged && end.localError == 0) {
        m_failure = DownloadFailure::Damaged;
        platform::WriteDiagnosticLine("Download failed: the file does not have the digest its server sent");
        return false;
    }
    if (end.result == CURLE_OK)
        return true;
    // A write error comes from the file only when a write or the close failed; otherwise the
    // failure is on the network's side.
    const bool local = end.localError != 0;
    m_failure = local                                        ? DownloadFailure::LocalFile
        : end.changed                                        ? DownloadFailure::Changed
        : end.failedStatus == 404 || end.failedStatus == 410 ? DownloadFailure::Missing
        : end.failedStatus == 407                            ? DownloadFailure::ProxyRefused
                                                             : DownloadFailure::Transfer;
    if (end.changed)
        platform::WriteDiagnosticLine("Download cut " + std::to_string(kCutsAtOneOffset) + " times at byte " +
            std::to_string(end.lastCut) + " of the same version: the file on the server changed");
    platform::WriteDiagnosticLine(std::string("Download failed: ") + curl_easy_strerror(end.result) +
        (local ? std::string(": ") + std::strerror(end.localError) : net::ProxyForDiagnostics(m_proxy)));
    return false;
}

bool FileDownloader::HasExpectedDigest(const platform::WritableFile& file) const
{
    if (!m_digest)
        return true;
    const platform::Result<platform::ReadableFile> reading = file.ReopenForReading();
    if (!reading) {
        platform::WriteDiagnosticLine(
            "digest: cannot read the downloaded file: " + platform::FileErrorText(reading.Failure().code));
        return false;
    }
    const platform::Result<bool> same = net::FileHasDigest(*reading, *m_digest);
    if (!same)
        platform::WriteDiagnosticLine(same.Failure().Text());
    return same && *same;
}

bool FileDownloader::WaitBeforeRetry(int attempt, std::chrono::milliseconds wait) const
{
    using Clock = std::chrono::steady_clock;
    const auto until = Clock::now() + wait;
    // The retry callback hears of the wait at its start, then each time the whole seconds left
    // go down, so that a shown countdown counts.
    std::optional<std::chrono::seconds> told;
    std::mutex mutex;
    std::condition_variable_any cancelled;
    std::unique_lock lock(mutex);
    for (;;) {
        if (m_cancel.stop_requested())
            return false;
        const auto now = Clock::now();
        const auto left = std::chrono::ceil<std::chrono::seconds>(std::max(until - now, Clock::duration::zero()));
        if (m_retryCallback && told != left && (!told || left.count() > 0)) {
            m_retryCallback(attempt, told ? std::chrono::duration_cast<std::chrono::milliseconds>(left) : wait);
            told = left;
        }
        if (now >= until)
            return true;
        // Until the whole seconds left go down (or the wait is over), cut short by Cancel.
        const auto nextSecond = until - std::chrono::duration_cast<Clock::duration>(left - std::chrono::seconds(1));
        cancelled.wait_until(lock, m_cancel.get_token(), std::min(nextSecond, until), [] { return false; });
    }
}
