// One request of a download, shared by the transfer's loop and libcurl's callbacks. Internal to
// net/.
#pragma once

#include "net/body_digest.h"
#include "net/curl_easy.h"
#include "net/file_downloader.h"
#include "net/header_field.h"
#include "net/stall_watch.h"

#include <cstdint>
#include <optional>
#include <string>

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
    std::optional<net::ContentRange> contentRange;
    std::optional<net::BodyDigest> reprDigest; // Repr-Digest: of the whole file, even in a 206
    std::optional<net::BodyDigest> instanceDigest; // Digest: of the whole file as well
    std::optional<net::BodyDigest> contentMd5; // Content-MD5: of this answer's body

    std::optional<net::StallWatch> watch;
    bool stalled = false; // the progress function ended it as stalled
    bool waitingTold = false;

    bool decided = false;
    bool taken = false; // the body is written to the file
    bool emptied = false; // the file was emptied for a whole body
    std::uint64_t base = 0; // where in the file the body's first byte goes
    std::uint64_t written = 0;
    int error = 0; // errno of the first failed write (or of emptying the file)
    CURLcode result = CURLE_OK; // how the request ended

    // Takes the answer's body, or refuses it (false).
    bool Decide();
};
