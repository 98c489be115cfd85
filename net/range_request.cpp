#include "net/range_request.h"

#include "net/body_digest.h"
#include "net/curl_easy.h"
#include "net/header_field.h"
#include "net/site_settings.h"
#include "net/stall_watch.h"
#include "platform/diagnostics.h"

#include <algorithm>
#include <memory>
#include <string_view>

namespace {

constexpr long kConnectTimeoutMs = 30'000;
// Once the first byte came, the part stalls as a download does.
constexpr std::chrono::seconds kStallLimit{60};
// How long the server may keep the first byte back before the waiting is told.
constexpr std::chrono::seconds kWaitingNotice{3};

struct SlistFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

struct RangeTransfer {
    CURL* curl = nullptr;
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    const RemoteVersion* version = nullptr;
    const std::atomic<bool>* cancel = nullptr;
    // The first byte may be kept back as long as a download's (a mirror filling its cache).
    net::StallWatch watch{net::FirstByteTimeout(), kStallLimit, net::StallWatch::Clock::now()};
    const std::function<void()>* waiting = nullptr;
    bool waitingTold = false;
    bool wholeDigest = false; // the answer names a digest of the whole file
    std::string etag;
    std::string lastModified;
    std::string contentRange;
    bool decided = false;
    bool taken = false;
    std::vector<unsigned char> bytes;
};

// The answer is exactly the part of the version asked for.
bool IsThePartAskedFor(const RangeTransfer& transfer)
{
    long status = 0;
    curl_easy_getinfo(transfer.curl, CURLINFO_RESPONSE_CODE, &status);
    if (status != 206)
        return false;
    const std::string& validator = transfer.etag.empty() ? transfer.lastModified : transfer.etag;
    if (validator != transfer.version->validator)
        return false;
    const std::string expected = "bytes " + std::to_string(transfer.first) + "-" + std::to_string(transfer.last) + "/" +
        std::to_string(transfer.version->length);
    return transfer.contentRange == expected;
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* target)
{
    auto& transfer = *static_cast<RangeTransfer*>(target);
    const std::string_view line(data, size * count);
    if (line.starts_with("HTTP/")) {
        transfer.etag.clear();
        transfer.lastModified.clear();
        transfer.contentRange.clear();
        transfer.wholeDigest = false;
        return count;
    }
    const std::optional<net::HeaderField> field = net::SplitHeaderLine(line);
    if (!field)
        return count;
    const std::string value(field->value);
    if (field->Is("ETag"))
        transfer.etag = value;
    else if (field->Is("Last-Modified"))
        transfer.lastModified = value;
    else if (field->Is("Content-Range"))
        transfer.contentRange = value;
    else if ((field->Is("Repr-Digest") && net::ParseReprDigest(value)) ||
        (field->Is("Digest") && net::ParseInstanceDigest(value)))
        transfer.wholeDigest = true;
    return count;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* target)
{
    auto& transfer = *static_cast<RangeTransfer*>(target);
    if (!transfer.decided) {
        transfer.decided = true;
        transfer.taken = IsThePartAskedFor(transfer);
    }
    const std::size_t bytes = size * count;
    // Anything but the part asked for ends the transfer here: nothing of it is read.
    if (!transfer.taken || transfer.bytes.size() + bytes > transfer.last - transfer.first + 1)
        return 0;
    transfer.bytes.insert(transfer.bytes.end(), data, data + bytes);
    return count;
}

int OnProgress(void* target, curl_off_t, curl_off_t received, curl_off_t, curl_off_t)
{
    auto& transfer = *static_cast<RangeTransfer*>(target);
    if (transfer.cancel && transfer.cancel->load(std::memory_order_relaxed))
        return 1;
    const auto now = net::StallWatch::Clock::now();
    switch (transfer.watch.Update(static_cast<std::uint64_t>(std::max<curl_off_t>(received, 0)), now)) {
    case net::StallWatch::State::Stalled:
        return 1;
    case net::StallWatch::State::Waiting:
        if (!transfer.waitingTold && transfer.watch.Waited(now) >= kWaitingNotice && transfer.waiting &&
            *transfer.waiting) {
            transfer.waitingTold = true;
            (*transfer.waiting)();
        }
        break;
    case net::StallWatch::State::Receiving:
        break;
    }
    return 0;
}

} // namespace

RangeAnswer FetchRange(const std::string& url, std::uint64_t first, std::uint64_t last, const RemoteVersion& version,
    const net::ProxySetting& proxy, const std::atomic<bool>* cancel, const std::function<void()>& waiting)
{
    RangeAnswer answer;
    const net::CurlEasy handle = net::MakeCurlEasy(proxy);
    if (!handle || last < first)
        return answer;
    CURL* const curl = handle.get();
    RangeTransfer transfer;
    transfer.curl = curl;
    transfer.first = first;
    transfer.last = last;
    transfer.version = &version;
    transfer.cancel = cancel;
    transfer.waiting = &waiting;
    transfer.bytes.reserve(last - first + 1);
    const std::string range = std::to_string(first) + "-" + std::to_string(last);
    const std::unique_ptr<curl_slist, SlistFree> headers(
        curl_slist_append(nullptr, ("If-Range: " + version.validator).c_str()));
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_RANGE, range.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &OnHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    net::UseVerifiedTls(curl);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &OnProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
    const CURLcode result = curl_easy_perform(curl);
    if (result == CURLE_OK && transfer.taken && transfer.bytes.size() == last - first + 1) {
        answer.kind = RangeAnswer::Kind::Range;
        answer.bytes = std::move(transfer.bytes);
        answer.wholeDigest = transfer.wholeDigest;
    } else if (transfer.decided && !transfer.taken) {
        answer.kind = RangeAnswer::Kind::NotRange;
    } else {
        platform::WriteDiagnosticLine(std::string("The archive's tail was not fetched: ") + curl_easy_strerror(result));
    }
    return answer;
}
