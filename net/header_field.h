// One line of an HTTP answer's headers, as libcurl's header callback hands it over, and the
// header values more than one request reads.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace net {

// "Name: value\r\n": the name as sent, the value without the blanks and line end around it.
struct HeaderField {
    std::string_view name;
    std::string_view value;

    // Header names are compared without regard to case.
    bool Is(std::string_view wanted) const;
};

// nullopt for a line without a colon (the status line, the blank line ending the headers).
std::optional<HeaderField> SplitHeaderLine(std::string_view line);

// `text` without the spaces, tabs and line ends around it.
std::string_view TrimmedHeaderText(std::string_view text);

// A decimal count of at least 0 and nothing else.
std::optional<std::int64_t> HeaderNumber(std::string_view text);

// "bytes 100-999/1000": the first and last byte and the whole length (-1 for "*").
struct ContentRange {
    std::int64_t first = 0;
    std::int64_t last = 0;
    std::int64_t length = -1;
};
std::optional<ContentRange> ParseContentRange(std::string_view value);

} // namespace net
