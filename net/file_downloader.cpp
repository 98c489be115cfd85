#include "net/file_downloader.h"

#include "net/curl_easy.h"
#include "net/proxy_setting.h"
#include "platform/diagnostics.h"
#include "platform/win32_files.h"
#include "platform/win32_system.h"

#include "platform/elevation.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <thread>
#include <type_traits>
#include <utility>

namespace {

// libcurl's default 16 KiB receive buffer halves the loopback throughput; 512 KiB matches curl.
constexpr long kReceiveBufferBytes = 512 * 1024;
constexpr long kConnectTimeoutMs = 30'000;
// Below this average rate for the stall timeout the transfer is given up.
constexpr long kLowSpeedBytesPerSecond = 1024;
// Tries again after a cut transfer; the waits double from the first.
constexpr int kRetries = 5;
constexpr std::chrono::milliseconds kFirstRetryDelay{1000};
constexpr std::chrono::milliseconds kCancelCheck{100};

struct SlistFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, SlistFree>;

// The answer's status so far; protocols without one (file://) report 0.
long ResponseStatus(CURL* curl)
{
    long status = 0;
    return curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK ? status : -1;
}

bool IsSuccess(long status) { return status >= 200 && status <= 299; }

// Redirects are not followed, so only a 2xx answer carries the body asked for.
CURLcode CheckResponseStatus(CURL* curl)
{
    const long status = ResponseStatus(curl);
    return status == 0 || IsSuccess(status) ? CURLE_OK : CURLE_HTTP_RETURNED_ERROR;
}

std::string Trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
        text.remove_suffix(1);
    return std::string(text);
}

bool SameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

std::optional<std::int64_t> Number(std::string_view text)
{
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0)
        return std::nullopt;
    return value;
}

// "bytes 100-999/1000": the first byte and the whole length (-1 for "*").
struct ContentRange {
    std::int64_t first = 0;
    std::int64_t length = -1;
};

std::optional<ContentRange> ParseContentRange(std::string_view value)
{
    if (!value.starts_with("bytes "))
        return std::nullopt;
    value.remove_prefix(6);
    const std::size_t dash = value.find('-');
    const std::size_t slash = value.find('/');
    if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash)
        return std::nullopt;
    const auto first = Number(value.substr(0, dash));
    const auto last = Number(value.substr(dash + 1, slash - dash - 1));
    const std::string_view whole = value.substr(slash + 1);
    const auto length = whole == "*" ? std::optional<std::int64_t>(-1) : Number(whole);
    if (!first || !last || !length || *last < *first)
        return std::nullopt;
    return ContentRange{*first, *length};
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

std::chrono::milliseconds FirstRetryDelayFromEnvironment()
{
    const char* value = platform::SettingFromEnvironment("INSTALLER_RETRY_DELAY_MS");
    if (value == nullptr)
        return kFirstRetryDelay;
    const auto number = Number(value);
    return number ? std::chrono::milliseconds(*number) : kFirstRetryDelay;
}

} // namespace

// One request of a transfer: the headers of the answer, whether its body is taken, and what
// the write callback wrote.
struct FileDownloader::Attempt {
    FileDownloader* downloader = nullptr;
    CURL* curl = nullptr;
    platform::WritableFile* file = nullptr;
    std::uint64_t rangeStart = 0; // 0: the whole body was asked for
    bool mayStartAgain = false; // an answer of the whole body may replace what is in the file

    // The latest answer's headers.
    std::string etag;
    std::string lastModified;
    std::int64_t contentLength = -1;
    std::optional<ContentRange> contentRange;

    bool decided = false;
    bool taken = false; // the body is written to the file
    bool emptied = false; // the file was emptied for a whole body
    std::uint64_t base = 0; // where in the file the body's first byte goes
    std::uint64_t written = 0;
    int error = 0; // errno of the first failed write (or of emptying the file)

    // Takes the answer's body, or refuses it (false).
    bool Decide();
};

bool FileDownloader::Attempt::Decide()
{
    decided = true;
    const long status = ResponseStatus(curl);
    RemoteVersion version{etag.empty() ? lastModified : etag, -1};
    FileDownloader& self = *downloader;
    if (rangeStart > 0 && status == 206) {
        // Exactly the rest of the version the file holds the start of, or nothing.
        if (!contentRange || contentRange->first != static_cast<std::int64_t>(rangeStart) ||
            version.validator != self.m_version.validator ||
            (self.m_version.length >= 0 && contentRange->length != self.m_version.length))
            return false;
        version.length = contentRange->length;
        base = rangeStart;
    } else if (rangeStart > 0) {
        // The server sends the whole file (it ignored the range, or the file changed).
        if (!mayStartAgain)
            return false;
        if (int truncateError = 0; !file->TruncateToEmpty(truncateError)) {
            error = truncateError != 0 ? truncateError : EIO;
            return false;
        }
        emptied = true;
        version.length = contentLength;
        base = 0;
    } else {
        version.length = contentLength;
        base = 0;
    }
    taken = true;
    self.m_version = version;
    self.m_progressBase.store(base, std::memory_order_relaxed);
    if (self.m_versionCallback)
        self.m_versionCallback(version);
    return true;
}

FileDownloader::FileDownloader(std::string url, platform::WritableFile file)
    : m_url(std::move(url)), m_file(std::move(file)), m_firstRetryDelay(FirstRetryDelayFromEnvironment())
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

void FileDownloader::SetResume(std::uint64_t offset, RemoteVersion version)
{
    m_offset = offset;
    m_version = std::move(version);
}

void FileDownloader::SetVersionCallback(VersionCallback callback) { m_versionCallback = std::move(callback); }

void FileDownloader::SetRetryCallback(RetryCallback callback) { m_retryCallback = std::move(callback); }

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

void FileDownloader::Cancel() { m_cancelled.store(true, std::memory_order_relaxed); }

DWORD FileDownloader::DownloadThreadProc(LPVOID parameter)
{
    FileDownloader& self = *static_cast<FileDownloader*>(parameter);
    // Transfer() has closed the file and released the handle when it returns, so whoever sees
    // either flag may use or remove the file at once.
    const bool succeeded = self.Transfer();
    (succeeded ? self.m_finished : self.m_failed).store(true, std::memory_order_release);
    return succeeded ? 0 : static_cast<DWORD>(-1);
}

bool FileDownloader::Transfer()
{
    static_assert(std::is_same_v<decltype(&FileDownloader::WriteToFile), curl_write_callback>);
    static_assert(std::is_same_v<decltype(&FileDownloader::OnHeader), curl_write_callback>);
    static_assert(std::is_same_v<decltype(&FileDownloader::OnTransferProgress), curl_xferinfo_callback>);

    const net::CurlEasy handle = net::MakeCurlEasy();
    if (!handle) {
        platform::WriteDiagnosticLine("Failed to initialize libcurl.");
        m_failure = DownloadFailure::Transfer;
        return false;
    }
    platform::WritableFile file = std::move(m_file);
    if (!file.IsOpen()) {
        platform::WriteDiagnosticLine("Failed to open file for writing: no file to write to");
        m_failure = DownloadFailure::LocalFile;
        return false;
    }

    CURL* const curl = handle.get();
    curl_easy_setopt(curl, CURLOPT_URL, m_url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &FileDownloader::WriteToFile);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &FileDownloader::OnHeader);
    net::UseVerifiedTls(curl);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedBytesPerSecond);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(m_stallTimeout.count()));
    // The progress function also carries Cancel, so it is installed with or without a callback.
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &FileDownloader::OnTransferProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);

    // The bytes of m_version in the file. Without a validator nothing tells that the rest on
    // the server still belongs to them.
    std::uint64_t have = m_version.validator.empty() ? 0 : m_offset;
    const auto emptyFile = [&file, &have] {
        have = 0;
        int error = 0;
        return file.TruncateToEmpty(error);
    };
    if (m_offset > 0 && (have == 0 || (m_version.length >= 0 && have > static_cast<std::uint64_t>(m_version.length))))
        emptyFile();
    bool startedAgain = false;
    CURLcode result = CURLE_OK;
    int localError = 0;
    for (int retries = 0;;) {
        if (m_version.length >= 0 && have > 0 && have == static_cast<std::uint64_t>(m_version.length))
            break; // every byte is there already
        Attempt attempt;
        attempt.downloader = this;
        attempt.curl = curl;
        attempt.file = &file;
        attempt.rangeStart = have;
        attempt.mayStartAgain = !startedAgain;
        m_progressBase.store(have, std::memory_order_relaxed);
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

        result = curl_easy_perform(curl);
        if (result == CURLE_OK)
            result = CheckResponseStatus(curl);
        if (attempt.taken)
            have = attempt.base + attempt.written;
        startedAgain = startedAgain || attempt.emptied;
        if (result == CURLE_OK && m_version.length >= 0 && have != static_cast<std::uint64_t>(m_version.length))
            result = CURLE_PARTIAL_FILE;
        if (result == CURLE_OK)
            break;
        if (attempt.error != 0) {
            localError = attempt.error;
            break; // the file's side: trying again would fail the same way
        }
        if (m_cancelled.load(std::memory_order_relaxed))
            break;
        if (attempt.decided && !attempt.taken) {
            // An answer that does not continue the file: once, the whole body from the start.
            if (startedAgain)
                break;
            startedAgain = true;
            if (!emptyFile()) {
                localError = EIO;
                break;
            }
            continue;
        }
        if (!IsPassingFault(result) || retries == kRetries)
            break;
        platform::WriteDiagnosticLine(std::string("Download interrupted: ") + curl_easy_strerror(result) + " after " +
            std::to_string(have) + " bytes; trying again");
        if (m_version.validator.empty() && have > 0 && !emptyFile()) {
            localError = EIO;
            break;
        }
        ++retries;
        const std::chrono::milliseconds wait = m_firstRetryDelay * (1 << (retries - 1));
        if (!WaitBeforeRetry(retries, wait))
            break;
    }
    // Some file systems report a failed write only at the close.
    if (int closeError = 0; !file.Close(closeError) && localError == 0) {
        localError = closeError;
        if (result == CURLE_OK)
            result = CURLE_WRITE_ERROR;
    }
    if (localError != 0 && result == CURLE_OK)
        result = CURLE_WRITE_ERROR;
    if (result != CURLE_OK) {
        // A write error comes from the file only when a write or the close failed; otherwise
        // the failure is on the network's side.
        const bool local = localError != 0;
        m_failure = local ? DownloadFailure::LocalFile : DownloadFailure::Transfer;
        platform::WriteDiagnosticLine(std::string("Download failed: ") + curl_easy_strerror(result) +
            (local ? std::string(": ") + std::strerror(localError) : net::ProxyForDiagnostics()));
        return false;
    }
    return true;
}

bool FileDownloader::WaitBeforeRetry(int attempt, std::chrono::milliseconds wait) const
{
    using Clock = std::chrono::steady_clock;
    const auto until = Clock::now() + wait;
    // The retry callback hears of the wait at its start, then each time the whole seconds left
    // go down, so that a shown countdown counts.
    std::optional<std::chrono::seconds> told;
    for (;;) {
        if (m_cancelled.load(std::memory_order_relaxed))
            return false;
        const auto now = Clock::now();
        const auto left = std::chrono::ceil<std::chrono::seconds>(std::max(until - now, Clock::duration::zero()));
        if (m_retryCallback && told != left && (!told || left.count() > 0)) {
            m_retryCallback(attempt, told ? std::chrono::duration_cast<std::chrono::milliseconds>(left) : wait);
            told = left;
        }
        if (now >= until)
            return true;
        std::this_thread::sleep_for(std::min<Clock::duration>(kCancelCheck, until - now));
    }
}

std::size_t FileDownloader::OnHeader(char* data, std::size_t size, std::size_t count, void* target)
{
    auto& attempt = *static_cast<Attempt*>(target);
    const std::string_view line(data, size * count);
    if (line.starts_with("HTTP/")) {
        // A new answer (after an interim one): its own headers only.
        attempt.etag.clear();
        attempt.lastModified.clear();
        attempt.contentLength = -1;
        attempt.contentRange.reset();
        return count;
    }
    if (line == "\r\n" || line == "\n") {
        // The headers' end: a body of the answer asked for is taken or refused before any of it
        // arrives (and before its length counts in the progress); an interim answer or an error
        // waits for what follows.
        if (!attempt.decided && IsSuccess(ResponseStatus(attempt.curl)) && !attempt.Decide())
            return 0;
        return count;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos)
        return count;
    const std::string_view name = line.substr(0, colon);
    const std::string value = Trimmed(line.substr(colon + 1));
    if (SameName(name, "ETag"))
        attempt.etag = value;
    else if (SameName(name, "Last-Modified"))
        attempt.lastModified = value;
    else if (SameName(name, "Content-Length"))
        attempt.contentLength = Number(value).value_or(-1);
    else if (SameName(name, "Content-Range"))
        attempt.contentRange = ParseContentRange(value);
    return count;
}

std::size_t FileDownloader::WriteToFile(char* data, std::size_t size, std::size_t count, void* target)
{
    auto& attempt = *static_cast<Attempt*>(target);
    if (!attempt.decided) {
        // A protocol without headers (file://) has its body taken here; the body of an answer
        // that is no success (a redirect's) is not written anywhere.
        const long status = ResponseStatus(attempt.curl);
        if (status != 0 && !IsSuccess(status))
            return count;
        if (!attempt.Decide())
            return 0;
    }
    if (!attempt.taken)
        return 0;
    // curl passes size 1; anything short of the whole block stops the transfer.
    int error = 0;
    if (attempt.file->Write(data, size * count, error)) {
        attempt.written += size * count;
        return count;
    }
    if (attempt.error == 0)
        attempt.error = error != 0 ? error : EIO;
    return 0;
}

int FileDownloader::OnTransferProgress(void* downloader, std::int64_t downloadTotal, std::int64_t downloaded,
    std::int64_t /*uploadTotal*/, std::int64_t /*uploaded*/)
{
    const FileDownloader& self = *static_cast<const FileDownloader*>(downloader);
    if (self.m_cancelled.load(std::memory_order_relaxed)) {
        return 1;
    }
    if (!self.m_progressCallback) {
        return 0;
    }
    // A range's progress is counted on from the bytes already in the file.
    const auto base = static_cast<std::int64_t>(self.m_progressBase.load(std::memory_order_relaxed));
    return self.m_progressCallback(
        static_cast<double>(downloadTotal > 0 ? base + downloadTotal : 0), static_cast<double>(base + downloaded));
}
