// The digest of a whole file that a server sends with it (Repr-Digest, Digest, Content-MD5), and
// the check of a downloaded file against it.
#pragma once

#include "platform/folder_handle.h"
#include "platform/result.h"

#include <optional>
#include <string_view>
#include <vector>

namespace net {

struct BodyDigest {
    enum class Algorithm { Sha256, Md5 };
    Algorithm algorithm = Algorithm::Sha256;
    std::vector<unsigned char> value;
    bool operator==(const BodyDigest&) const = default;
};

// The sha-256 member of a Repr-Digest value (`sha-256=:BASE64:`, among others).
std::optional<BodyDigest> ParseReprDigest(std::string_view value);
// The SHA-256 member of a Digest value (`SHA-256=BASE64`, among others).
std::optional<BodyDigest> ParseInstanceDigest(std::string_view value);
// A Content-MD5 value (`BASE64`).
std::optional<BodyDigest> ParseContentMd5(std::string_view value);

// Whether the file's bytes, from its start to its end, have the digest.
platform::Result<bool> FileHasDigest(const platform::ReadableFile& file, const BodyDigest& digest);

} // namespace net
