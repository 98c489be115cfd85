// Converts text from one character set to another through the C library's converters (the
// ones libarchive uses for its own charset options), so that a name decoded here reads the
// same as libarchive's.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

class CharsetConverter {
public:
    // From `from` to `to`, by the converters' names ("CP936", "UTF-8").
    CharsetConverter(const char* to, const char* from);
    ~CharsetConverter();
    CharsetConverter(const CharsetConverter&) = delete;
    CharsetConverter& operator=(const CharsetConverter&) = delete;

    // False when the C library has no such conversion.
    bool Available() const { return m_converter != nullptr; }
    // The whole text converted, or nullopt when a byte sequence is not valid in the source set
    // (or the conversion is not available).
    std::optional<std::string> Convert(std::string_view text) const;

private:
    void* m_converter = nullptr; // iconv_t
};

} // namespace platform
