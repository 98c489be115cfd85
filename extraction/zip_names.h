// Entry names of ZIP archives: which character set they are in, and which of them may be
// written beneath a destination folder.
#pragma once

#include "platform/charset_converter.h"

#include <optional>
#include <string>
#include <string_view>

namespace extraction {

// Character set of the names of entries that do not carry the UTF-8 flag. Entries with the
// flag are always UTF-8.
enum class ZipNameCharset { Utf8, Cp936 };

// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view bytes);

// Collects the names of one archive and decides its charset: UTF-8 when every name is valid
// UTF-8 (what tools on Linux and macOS write, flag or not), CP936 otherwise (what tools on
// Chinese Windows write without the flag).
class ZipNameCharsetVote {
public:
    void Add(std::string_view rawName);
    ZipNameCharset Result() const { return m_allUtf8 ? ZipNameCharset::Utf8 : ZipNameCharset::Cp936; }

private:
    bool m_allUtf8 = true;
};

// Decodes the names of one archive to UTF-8: names with the UTF-8 flag, and all names of a
// UTF-8 archive, must be valid UTF-8; the others are converted from CP936 through the
// converter libarchive uses for its "hdrcharset" option, so that both read the same name.
class ZipNameDecoder {
public:
    explicit ZipNameDecoder(ZipNameCharset charset);

    // nullopt when the bytes are not valid in their character set.
    std::optional<std::string> Decode(std::string_view rawName, bool utf8Flag) const;

private:
    std::optional<platform::CharsetConverter> m_cp936; // only for a CP936 archive
};

// Which characters separate the components of a name. A backslash is also a trail byte of
// CP936 characters, so it can only be taken as a separator once names are decoded.
enum class NameSeparators { SlashOnly, SlashAndBackslash };

// Why an entry name may not be written beneath the destination (absolute, a drive letter,
// a ".." component, empty), or nullopt when it may.
std::optional<std::string> UnsafeNameReason(
    std::string_view name, NameSeparators separators = NameSeparators::SlashAndBackslash);

// The name as it may appear in a one-line message: control characters and bytes that are
// not UTF-8 are written as \xNN, quotes and backslashes escaped.
std::string PrintableName(std::string_view name);

} // namespace extraction
