#include "net/file_downloader.h"

#include "net/curl_easy.h"
#include "net/proxy_setting.h"
#include "platform/diagnostics.h"
#include "platform/win32_files.h"
#include "platform/win32_system.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <type_traits>
#include <utility>

namespace {

// What the write callback writes to, and the errno of its first failed write.
struct WriteTarget {
    platform::WritableFile* file = nullptr;
    int error = 0;
};

// libcurl's default 16 KiB receive buffer halves the loopback throughput; 512 KiB matches curl.
constexpr long kReceiveBufferBytes = 512 * 1024;
constexpr long kConnectTimeoutMs = 30'000;
// Below this average rate for the stall timeout the transfer is given up.
constexpr long kLowSpeedBytesPerSecond = 1024;

// Redirects are not followed, so only a 2xx answer carries the body asked for. Protocols
// without a status (file://) report 0.
CURLcode CheckResponseStatus(CURL* curl)
{
    long status = 0;
    if (curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK) {
        return CURLE_HTTP_RETURNED_ERROR;
    }
    const bool success = status == 0 || (status >= 200 && status <= 299);
    return success ? CURLE_OK : CURLE_HTTP_RETURNED_ERROR;
}

} // namespace

FileDownloader::FileDownloader(std::string url, platform::WritableFile file)
    : m_url(std::move(url)), m_file(std::move(file))
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
    WriteTarget target{&file};

    CURL* const curl = handle.get();
    curl_easy_setopt(curl, CURLOPT_URL, m_url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &FileDownloader::WriteToFile);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &target);
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

    CURLcode result = curl_easy_perform(curl);
    if (result == CURLE_OK) {
        result = CheckResponseStatus(curl);
    }
    // Some file systems report a failed write only at the close.
    if (int closeError = 0; !file.Close(closeError) && target.error == 0) {
        target.error = closeError;
        if (result == CURLE_OK)
            result = CURLE_WRITE_ERROR;
    }
    if (result != CURLE_OK) {
        // A write error comes from the file only when a write or the close failed; otherwise
        // the failure is on the network's side.
        const bool local = result == CURLE_WRITE_ERROR && target.error != 0;
        m_failure = local ? DownloadFailure::LocalFile : DownloadFailure::Transfer;
        platform::WriteDiagnosticLine(std::string("Download failed: ") + curl_easy_strerror(result) +
            (local ? std::string(": ") + std::strerror(target.error) : net::ProxyForDiagnostics()));
        return false;
    }
    return true;
}

std::size_t FileDownloader::WriteToFile(char* data, std::size_t size, std::size_t count, void* target)
{
    auto& to = *static_cast<WriteTarget*>(target);
    // curl passes size 1; anything short of the whole block stops the transfer.
    int error = 0;
    if (to.file->Write(data, size * count, error))
        return count;
    if (to.error == 0)
        to.error = error != 0 ? error : EIO;
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
    return self.m_progressCallback(static_cast<double>(downloadTotal), static_cast<double>(downloaded));
}
