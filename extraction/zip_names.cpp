#include "extraction/zip_names.h"

#include <cerrno>
#include <cstdio>

namespace extraction {
namespace {

// Length of the well-formed UTF-8 sequence at text[i], or 0 when it is not one.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0; // overlong
        if (lead == 0xED)
            high = 0x9F; // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90; // overlong
        if (lead == 0xF4)
            high = 0x8F; // above U+10FFFF
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    if (byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t k = 2; k < length; ++k) {
        if (byte(k) < 0x80 || byte(k) > 0xBF)
            return 0;
    }
    return length;
}

bool IsSeparator(char c, NameSeparators separators)
{
    return c == '/' || (c == '\\' && separators == NameSeparators::SlashAndBackslash);
}

} // namespace

bool IsValidUtf8(std::string_view bytes)
{
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = Utf8SequenceLength(bytes, i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

void ZipNameCharsetVote::Add(std::string_view rawName)
{
    if (m_allUtf8 && !IsValidUtf8(rawName))
        m_allUtf8 = false;
}

ZipNameDecoder::ZipNameDecoder(ZipNameCharset charset)
{
    if (charset == ZipNameCharset::Cp936)
        m_cp936.emplace("UTF-8", "CP936");
}

std::optional<std::string> ZipNameDecoder::Decode(std::string_view rawName, bool utf8Flag) const
{
    if (utf8Flag || !m_cp936 || !m_cp936->Available())
        return IsValidUtf8(rawName) ? std::optional<std::string>(rawName) : std::nullopt;
    std::optional<std::string> decoded = m_cp936->Convert(rawName);
    return decoded && IsValidUtf8(*decoded) ? decoded : std::nullopt;
}

std::optional<std::string> UnsafeNameReason(std::string_view name, NameSeparators separators)
{
    if (name.empty())
        return "the entry has no name";
    if (IsSeparator(name.front(), separators))
        return "absolute paths are not extracted";
    if (name.size() >= 2 && name[1] == ':' &&
        ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')))
        return "paths with a drive letter are not extracted";
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = start;
        while (end < name.size() && !IsSeparator(name[end], separators))
            ++end;
        if (name.substr(start, end - start) == "..")
            return "the path leads out of the destination folder";
        start = end + 1;
    }
    return std::nullopt;
}

std::string PrintableName(std::string_view name)
{
    std::string printable;
    printable.reserve(name.size());
    for (std::size_t i = 0; i < name.size();) {
        const auto c = static_cast<unsigned char>(name[i]);
        const std::size_t length = Utf8SequenceLength(name, i);
        if (c == '"' || c == '\\') {
            printable += '\\';
            printable += static_cast<char>(c);
            ++i;
        } else if (length == 0 || c < 0x20 || c == 0x7F) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            printable += escaped;
            ++i;
        } else {
            printable.append(name.substr(i, length));
            i += length;
        }
    }
    return printable;
}

} // namespace extraction
