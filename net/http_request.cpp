#include "net/http_request.h"

#include "net/curl_easy.h"
#include "net/package_address.h"
#include "net/proxy_setting.h"
#include "platform/connectivity.h"
#include "platform/diagnostics.h"

#include <limits>
#include <string>

namespace {

constexpr long kProbeConnectTimeoutMs = 200;
constexpr long kProbeTimeoutMs = 1000;
// The size probe runs while the user waits on the main window.
constexpr long kSizeProbeConnectTimeoutMs = 10'000;
constexpr long kSizeProbeTimeoutMs = 20'000;

int LengthAsInt(curl_off_t length)
{
    if (length < 0) {
        return -1;
    }
    if (length > std::numeric_limits<int>::max()) {
        return std::numeric_limits<int>::min();
    }
    return static_cast<int>(length);
}

// libcurl calls this at least once a second while a request waits; non-zero aborts it.
int AbortWhenCancelled(void* cancel, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<const std::atomic<bool>*>(cancel)->load() ? 1 : 0;
}

} // namespace

int ProbeServer()
{
    const net::CurlEasy handle = net::MakeCurlEasy();
    if (!handle) {
        return CURLE_FAILED_INIT;
    }
    std::string sink;
    CURL* const curl = handle.get();
    curl_easy_setopt(curl, CURLOPT_URL, probeAddress.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, kProbeConnectTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, kProbeTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &AppendToString);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    net::UseVerifiedTls(curl);
    return curl_easy_perform(curl);
}

bool IsInternetConnected() { return platform::QueryNetworkConnectivity() != platform::NetworkConnectivity::Offline; }

int GetRemoteFileSize(const std::string& url) { return GetRemoteFileSize(url, nullptr); }

int GetRemoteFileSize(const std::string& url, const std::atomic<bool>* cancel)
{
    const net::CurlEasy handle = net::MakeCurlEasy();
    if (!handle) {
        platform::WriteDiagnosticLine(platform::DiagnosticStream::Error, "Failed to initialize libcurl");
        return -1;
    }
    CURL* const curl = handle.get();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    net::UseVerifiedTls(curl);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, kSizeProbeConnectTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, kSizeProbeTimeoutMs);
    if (cancel) {
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &AbortWhenCancelled);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(cancel));
    }

    const CURLcode result = curl_easy_perform(curl);
    if (result == CURLE_ABORTED_BY_CALLBACK)
        return -1;
    if (result != CURLE_OK) {
        platform::WriteDiagnosticLine(platform::DiagnosticStream::Error,
            std::string("curl_easy_perform failed: ") + curl_easy_strerror(result) + net::ProxyForDiagnostics());
        return -1;
    }
    curl_off_t length = 0;
    const CURLcode info = curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    if (info != CURLE_OK) {
        platform::WriteDiagnosticLine(
            platform::DiagnosticStream::Error, std::string("curl_easy_getinfo failed: ") + curl_easy_strerror(info));
        return -1;
    }
    return LengthAsInt(length);
}

std::size_t AppendToString(char* data, std::size_t size, std::size_t count, void* sink)
{
    const std::size_t bytes = size * count;
    static_cast<std::string*>(sink)->append(data, bytes);
    return bytes;
}
