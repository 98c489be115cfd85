#include "dui/attributes.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <limits>
#include <string>
#include <vector>

namespace dui {
namespace {

std::vector<int> ParseList(std::wstring_view text)
{
    std::vector<int> values;
    std::size_t start = 0;
    while (start <= text.size()) {
        auto end = text.find(L',', start);
        if (end == std::wstring_view::npos)
            end = text.size();
        values.push_back(ParseLength(text.substr(start, end - start)));
        start = end + 1;
    }
    return values;
}

} // namespace

int ParseInt(std::wstring_view text, int fallback)
{
    const std::wstring copy(text);
    const wchar_t* begin = copy.c_str();
    while (std::iswspace(static_cast<wint_t>(*begin)))
        ++begin;
    wchar_t* end = nullptr;
    const long value = std::wcstol(begin, &end, 10);
    if (end == begin)
        return fallback;
    return static_cast<int>(std::clamp<long>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

int ParseLength(std::wstring_view text, int fallback)
{
    return std::clamp(ParseInt(text, fallback), -kLargestLength, kLargestLength);
}

RECT ParseRect(std::wstring_view text)
{
    const auto v = ParseList(text);
    RECT rc;
    rc.left = v.size() > 0 ? v[0] : 0;
    rc.top = v.size() > 1 ? v[1] : 0;
    rc.right = v.size() > 2 ? v[2] : 0;
    rc.bottom = v.size() > 3 ? v[3] : 0;
    return rc;
}

SIZE ParseSize(std::wstring_view text)
{
    const auto v = ParseList(text);
    SIZE size;
    size.cx = v.size() > 0 ? v[0] : 0;
    size.cy = v.size() > 1 ? v[1] : 0;
    return size;
}

std::optional<DWORD> ParseColor(std::wstring_view text)
{
    while (!text.empty() && std::iswspace(static_cast<wint_t>(text.front())))
        text.remove_prefix(1);
    if (text.starts_with(L"#"))
        text.remove_prefix(1);
    else if (text.starts_with(L"0x") || text.starts_with(L"0X"))
        text.remove_prefix(2);
    else
        return std::nullopt;
    if (text.size() != 6 && text.size() != 8)
        return std::nullopt;
    DWORD value = 0;
    for (const wchar_t ch : text) {
        if (!std::iswxdigit(static_cast<wint_t>(ch)))
            return std::nullopt;
        const int digit = std::iswdigit(static_cast<wint_t>(ch)) ? ch - L'0' : (std::towlower(ch) - L'a' + 10);
        value = (value << 4) | static_cast<DWORD>(digit);
    }
    if (text.size() == 6)
        value |= 0xFF000000u;
    return value;
}

bool ParseBool(std::wstring_view text) { return text == L"true" || text == L"1" || text == L"TRUE" || text == L"True"; }

} // namespace dui
