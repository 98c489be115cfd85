#include "net/body_digest.h"

#include "net/header_field.h"

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>

namespace net {

namespace {

// Standard base64 with its padding; nullopt for anything else.
std::optional<std::vector<unsigned char>> DecodeBase64(std::string_view text)
{
    if (text.empty() || text.size() % 4 != 0)
        return std::nullopt;
    const auto sextet = [](char c) -> int {
        if (c >= 'A' && c <= 'Z')
            return c - 'A';
        if (c >= 'a' && c <= 'z')
            return c - 'a' + 26;
        if (c >= '0' && c <= '9')
            return c - '0' + 52;
        return c == '+' ? 62 : c == '/' ? 63 : -1;
    };
    std::vector<unsigned char> bytes;
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const std::size_t padding = i + 4 == text.size() ? (text.ends_with("==") ? 2 : text.ends_with('=') ? 1 : 0) : 0;
        unsigned value = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            const int bits = k < 4 - padding ? sextet(text[i + k]) : 0;
            if (bits < 0)
                return std::nullopt;
            value = (value << 6) | static_cast<unsigned>(bits);
        }
        for (std::size_t k = 0; k < 3 - padding; ++k)
            bytes.push_back(static_cast<unsigned char>(value >> (16 - 8 * k)));
    }
    return bytes;
}

std::optional<BodyDigest> Digest(BodyDigest::Algorithm algorithm, std::string_view base64)
{
    const auto value = DecodeBase64(TrimmedHeaderText(base64));
    const std::size_t size = algorithm == BodyDigest::Algorithm::Sha256 ? 32 : 16;
    if (!value || value->size() != size)
        return std::nullopt;
    return BodyDigest{algorithm, *value};
}

// The value of member `name` in a comma-separated list of `name=value` members.
std::optional<std::string_view> Member(std::string_view list, std::string_view name)
{
    while (!list.empty()) {
        const std::size_t comma = std::min(list.find(','), list.size());
        const std::string_view member = TrimmedHeaderText(list.substr(0, comma));
        list.remove_prefix(std::min(comma + 1, list.size()));
        const std::size_t equals = member.find('=');
        if (equals != std::string_view::npos && HeaderField{TrimmedHeaderText(member.substr(0, equals)), {}}.Is(name))
            return TrimmedHeaderText(member.substr(equals + 1));
    }
    return std::nullopt;
}

struct DigestContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

} // namespace

std::optional<BodyDigest> ParseReprDigest(std::string_view value)
{
    const auto member = Member(value, "sha-256");
    if (!member || member->size() < 2 || !member->starts_with(':') || !member->ends_with(':'))
        return std::nullopt;
    return Digest(BodyDigest::Algorithm::Sha256, member->substr(1, member->size() - 2));
}

std::optional<BodyDigest> ParseInstanceDigest(std::string_view value)
{
    const auto member = Member(value, "sha-256");
    return member ? Digest(BodyDigest::Algorithm::Sha256, *member) : std::nullopt;
}

std::optional<BodyDigest> ParseContentMd5(std::string_view value) { return Digest(BodyDigest::Algorithm::Md5, value); }

platform::Result<bool> FileHasDigest(const platform::ReadableFile& file, const BodyDigest& digest)
{
    const std::unique_ptr<EVP_MD_CTX, DigestContextFree> context(EVP_MD_CTX_new());
    const EVP_MD* algorithm = digest.algorithm == BodyDigest::Algorithm::Sha256 ? EVP_sha256() : EVP_md5();
    if (!context || EVP_DigestInit_ex(context.get(), algorithm, nullptr) != 1)
        return platform::SystemError(0, "digest: cannot start " + std::string(EVP_MD_get0_name(algorithm)));
    std::vector<unsigned char> buffer(1 << 20);
    for (std::uint64_t offset = 0;;) {
        const platform::Result<std::size_t> got = file.ReadAt(buffer.data(), buffer.size(), offset);
        if (!got)
            return platform::SystemError(got.Failure().code, "digest: read the downloaded file");
        if (*got == 0)
            break;
        EVP_DigestUpdate(context.get(), buffer.data(), *got);
        offset += *got;
    }
    std::array<unsigned char, EVP_MAX_MD_SIZE> value{};
    unsigned size = 0;
    EVP_DigestFinal_ex(context.get(), value.data(), &size);
    return std::vector<unsigned char>(value.begin(), value.begin() + size) == digest.value;
}

} // namespace net
