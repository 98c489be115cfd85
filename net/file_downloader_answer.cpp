// The download's side of each answer: its headers read, its body taken or refused, written to the
// file, and its progress watched.
#include "net/file_downloader.h"

#include "net/file_downloader_attempt.h"

#include <algorithm>
#include <cerrno>
#include <string_view>

namespace {

// A wait for the first byte this long is told to the user.
constexpr std::chrono::seconds kWaitingNotice{3};

} // namespace

bool FileDownloader::Attempt::Decide()
{
    decided = true;
    const long status = net::ResponseStatus(curl);
    RemoteVersion version{ChooseValidator(etag, lastModified), -1};
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
        if (self.m_extentCallback)
            self.m_extentCallback(0);
        if (const platform::Result<void> emptiedNow = file->TruncateToEmpty(); !emptiedNow) {
            error = emptiedNow.Failure().code != 0 ? emptiedNow.Failure().code : EIO;
            return false;
        }
        emptied = true;
        version.length = contentLength;
        base = 0;
    } else if (status == 206) {
        // A part where the whole file was asked for: taken only when the part is the whole.
        if (!contentRange || contentRange->first != 0 || contentRange->length < 0 ||
            contentRange->last + 1 != contentRange->length)
            return false;
        version.length = contentRange->length;
        base = 0;
    } else {
        version.length = contentLength;
        base = 0;
    }
    taken = true;
    // The digest of the whole file; a Content-MD5 covers only the body of a whole answer. A part
    // that names none keeps the one the answer of its start named.
    std::optional<net::BodyDigest> digest = reprDigest ? reprDigest : instanceDigest;
    if (!digest && status != 206)
        digest = contentMd5;
    if (digest || base == 0)
        self.m_digest = digest;
    self.m_rangeTotal.store(status == 206 ? version.length : -1, std::memory_order_relaxed);
    self.m_version = version;
    self.m_progressBase.store(base, std::memory_order_relaxed);
    if (self.m_versionCallback)
        self.m_versionCallback(version);
    if (self.m_extentCallback)
        self.m_extentCallback(base);
    return true;
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
        attempt.reprDigest.reset();
        attempt.instanceDigest.reset();
        attempt.contentMd5.reset();
        return count;
    }
    if (line == "\r\n" || line == "\n") {
        // The headers' end: a body of the answer asked for is taken or refused before any of it
        // arrives (and before its length counts in the progress); an interim answer or an error
        // waits for what follows.
        if (!attempt.decided && net::IsSuccessStatus(net::ResponseStatus(attempt.curl)) && !attempt.Decide())
            return 0;
        return count;
    }
    const std::optional<net::HeaderField> field = net::SplitHeaderLine(line);
    if (!field)
        return count;
    const std::string value(field->value);
    if (field->Is("ETag"))
        attempt.etag = value;
    else if (field->Is("Last-Modified"))
        attempt.lastModified = value;
    else if (field->Is("Content-Length"))
        attempt.contentLength = net::HeaderNumber(value).value_or(-1);
    else if (field->Is("Content-Range"))
        attempt.contentRange = net::ParseContentRange(value);
    else if (field->Is("Repr-Digest"))
        attempt.reprDigest = net::ParseReprDigest(value);
    else if (field->Is("Digest"))
        attempt.instanceDigest = net::ParseInstanceDigest(value);
    else if (field->Is("Content-MD5"))
        attempt.contentMd5 = net::ParseContentMd5(value);
    return count;
}

std::size_t FileDownloader::WriteToFile(char* data, std::size_t size, std::size_t count, void* target)
{
    auto& attempt = *static_cast<Attempt*>(target);
    if (!attempt.decided) {
        // A protocol without headers (file://) has its body taken here; the body of an answer
        // that is no success (a redirect's) is not written anywhere.
        const long status = net::ResponseStatus(attempt.curl);
        if (status != 0 && !net::IsSuccessStatus(status))
            return count;
        if (!attempt.Decide())
            return 0;
    }
    if (!attempt.taken)
        return 0;
    // curl passes size 1; anything short of the whole block stops the transfer.
    const platform::Result<void> written = attempt.file->Write(data, size * count);
    if (written) {
        attempt.written += size * count;
        if (attempt.downloader->m_extentCallback)
            attempt.downloader->m_extentCallback(attempt.base + attempt.written);
        return count;
    }
    if (attempt.error == 0)
        attempt.error = written.Failure().code != 0 ? written.Failure().code : EIO;
    return 0;
}

int FileDownloader::OnTransferProgress(void* target, std::int64_t downloadTotal, std::int64_t downloaded,
    std::int64_t /*uploadTotal*/, std::int64_t /*uploaded*/)
{
    auto& attempt = *static_cast<Attempt*>(target);
    const FileDownloader& self = *attempt.downloader;
    if (self.m_cancel.stop_requested()) {
        return 1;
    }
    const auto now = net::StallWatch::Clock::now();
    switch (attempt.watch->Update(static_cast<std::uint64_t>(std::max<std::int64_t>(downloaded, 0)), now)) {
    case net::StallWatch::State::Stalled:
        attempt.stalled = true;
        return 1;
    case net::StallWatch::State::Waiting:
        if (!attempt.waitingTold && attempt.watch->Waited(now) >= kWaitingNotice && self.m_waitingCallback) {
            attempt.waitingTold = true;
            self.m_waitingCallback();
        }
        break;
    case net::StallWatch::State::Receiving:
        break;
    }
    if (!self.m_progressCallback) {
        return 0;
    }
    // A range's progress is counted on from the bytes already in the file; a part sent without
    // its length has the whole length in its Content-Range.
    const auto base = static_cast<std::int64_t>(self.m_progressBase.load(std::memory_order_relaxed));
    const std::int64_t rangeTotal = self.m_rangeTotal.load(std::memory_order_relaxed);
    const std::int64_t total = downloadTotal > 0 ? base + downloadTotal : std::max<std::int64_t>(rangeTotal, 0);
    return self.m_progressCallback(static_cast<double>(total), static_cast<double>(base + downloaded));
}
