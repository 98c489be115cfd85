// One part of one version of a remote file, fetched whole into memory: the tail of the package
// archive that the installation plans from before the body is downloaded.
#pragma once

#include "net/file_downloader.h"
#include "net/proxy_setting.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct RangeAnswer {
    enum class Kind {
        Range, // exactly the bytes asked for, of the version asked for
        NotRange, // the server sent something else (the whole file, another version, no range)
        Failed, // no answer (the network, a timeout, a cancel, an HTTP error)
    };
    Kind kind = Kind::Failed;
    std::vector<unsigned char> bytes; // for Range
    // The server names a digest of the whole file: the archive is to be checked against it
    // before it is used.
    bool wholeDigest = false;
};

// GET of the bytes first to last (inclusive) of `version` of the file at `url`: Range with
// If-Range naming the version's validator. Taken only when the answer is 206 with exactly that
// Content-Range, the version's whole length and its validator; any other answer's body is not
// read. At most `last - first + 1` bytes are held. `cancel`, once set, ends it within about a
// second. The server may keep the first byte back as long as it may for a download;
// `waiting`, when set, is called once when it has for a few seconds. Through `proxy`.
RangeAnswer FetchRange(const std::string& url, std::uint64_t first, std::uint64_t last, const RemoteVersion& version,
    const net::ProxySetting& proxy, const std::atomic<bool>* cancel, const std::function<void()>& waiting = {});
