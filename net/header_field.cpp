#include "net/header_field.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace net {

bool HeaderField::Is(std::string_view wanted) const
{
    return name.size() == wanted.size() && std::equal(name.begin(), name.end(), wanted.begin(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

std::optional<HeaderField> SplitHeaderLine(std::string_view line)
{
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    return HeaderField{line.substr(0, colon), TrimmedHeaderText(line.substr(colon + 1))};
}

std::string_view TrimmedHeaderText(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::optional<std::int64_t> HeaderNumber(std::string_view text)
{
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0)
        return std::nullopt;
    return value;
}

std::optional<ContentRange> ParseContentRange(std::string_view value)
{
    if (!value.starts_with("bytes "))
        return std::nullopt;
    value.remove_prefix(6);
    const std::size_t dash = value.find('-');
    const std::size_t slash = value.find('/');
    if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash)
        return std::nullopt;
    const auto first = HeaderNumber(value.substr(0, dash));
    const auto last = HeaderNumber(value.substr(dash + 1, slash - dash - 1));
    const std::string_view whole = value.substr(slash + 1);
    const auto length = whole == "*" ? std::optional<std::int64_t>(-1) : HeaderNumber(whole);
    if (!first || !last || !length || *last < *first)
        return std::nullopt;
    return ContentRange{*first, *last, *length};
}

} // namespace net
