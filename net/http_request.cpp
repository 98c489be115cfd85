#include "net/http_request.h"

#include "net/curl_easy.h"
#include "net/header_field.h"
#include "net/package_address.h"
#include "net/proxy_setting.h"
#include "net/site_settings.h"
#include "platform/connectivity.h"
#include "platform/diagnostics.h"

#include <algorithm>
#include <limits>
#include <string>

namespace {

constexpr long kProbeConnectTimeoutMs = 200;
constexpr long kProbeTimeoutMs = 1000;
// The size probe runs while the user waits on the main window.
constexpr long kSizeProbeConnectTimeoutMs = 10'000;

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

// The validator (ChooseValidator) of the last answer in `headers`.
std::string ValidatorOf(const std::string& headers)
{
    std::string etag;
    std::string lastModified;
    std::size_t start = 0;
    while (start < headers.size()) {
        std::size_t end = headers.find('\n', start);
        if (end == std::string::npos)
            end = headers.size();
        const std::string_view line = std::string_view(headers).substr(start, end - start);
        start = end + 1;
        if (line.starts_with("HTTP/")) {
            etag.clear();
            lastModified.clear();
            continue;
        }
        const std::optional<net::HeaderField> field = net::SplitHeaderLine(line);
        if (!field)
            continue;
        if (field->Is("ETag"))
            etag = field->value;
        else if (field->Is("Last-Modified"))
            lastModified = field->value;
    }
    return ChooseValidator(etag, lastModified);
}

// No connection came about: the name did not resolve, or the server did not take it.
bool Unreachable(CURL* curl, CURLcode result)
{
    if (result == CURLE_COULDNT_RESOLVE_HOST || result == CURLE_COULDNT_RESOLVE_PROXY ||
        result == CURLE_COULDNT_CONNECT)
        return true;
    curl_off_t connected = 0;
    return result == CURLE_OPERATION_TIMEDOUT &&
        curl_easy_getinfo(curl, CURLINFO_CONNECT_TIME_T, &connected) == CURLE_OK && connected == 0;
}

// The answer's status; a proxy's refusal of a tunnel counts as its answer.
long AnswerStatus(CURL* curl)
{
    long status = 0;
    long proxyStatus = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_getinfo(curl, CURLINFO_HTTP_CONNECTCODE, &proxyStatus);
    return proxyStatus == 407 ? proxyStatus : status;
}

// libcurl calls this at least once a second while a request waits; non-zero aborts it.
int AbortWhenCancelled(void* cancel, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<const std::atomic<bool>*>(cancel)->load() ? 1 : 0;
}

} // namespace

int ProbeServer(const net::ProxySetting& proxy)
{
    const net::CurlEasy handle = net::MakeCurlEasy(proxy);
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

int GetRemoteFileSize(const std::string& url)
{
    return SizeProbeAnswer(ProbeRemoteFile(url, nullptr, std::nullopt).value_or(ProbedFile{}).version);
}

int SizeProbeAnswer(const RemoteVersion& probed) { return LengthAsInt(probed.length); }

std::optional<ProbedFile> ProbeRemoteFile(
    const std::string& url, const std::atomic<bool>* cancel, const net::ProxySetting& proxy)
{
    const net::CurlEasy handle = net::MakeCurlEasy(proxy);
    if (!handle) {
        platform::WriteDiagnosticLine(platform::DiagnosticStream::Error, "Failed to initialize libcurl");
        return ProbedFile{};
    }
    CURL* const curl = handle.get();
    std::string headers;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &AppendToString);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &headers);
    net::UseVerifiedTls(curl);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    const long timeoutMs = static_cast<long>(net::SizeProbeTimeout().count()) * 1000;
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, std::min(kSizeProbeConnectTimeoutMs, timeoutMs));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, timeoutMs);
    if (cancel) {
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &AbortWhenCancelled);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(cancel));
    }

    const CURLcode result = curl_easy_perform(curl);
    if (result == CURLE_ABORTED_BY_CALLBACK)
        return std::nullopt;
    ProbedFile probed;
    probed.status = AnswerStatus(curl);
    if (result != CURLE_OK) {
        platform::WriteDiagnosticLine(platform::DiagnosticStream::Error,
            std::string("curl_easy_perform failed: ") + curl_easy_strerror(result) + net::ProxyForDiagnostics(proxy));
        probed.unreachable = Unreachable(curl, result);
        return probed;
    }
    curl_off_t length = 0;
    const CURLcode info = curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    if (info != CURLE_OK) {
        platform::WriteDiagnosticLine(
            platform::DiagnosticStream::Error, std::string("curl_easy_getinfo failed: ") + curl_easy_strerror(info));
        return probed;
    }
    probed.version = RemoteVersion{ValidatorOf(headers), length < 0 ? -1 : static_cast<std::int64_t>(length)};
    return probed;
}

std::size_t AppendToString(char* data, std::size_t size, std::size_t count, void* sink)
{
    const std::size_t bytes = size * count;
    static_cast<std::string*>(sink)->append(data, bytes);
    return bytes;
}
