#include "platform/win32_strings.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

namespace platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Decodes one UTF-8 sequence at text[i]; advances i past it.
char32_t DecodeOne(std::string_view text, std::size_t& i)
{
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        ++i;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, cp = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, cp = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, cp = lead & 0x07, minimum = 0x10000;
    } else {
        ++i;
        return kReplacement;
    }
    if (i + length > text.size()) {
        ++i;
        return kReplacement;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const auto c = static_cast<unsigned char>(text[i + k]);
        if (!IsContinuation(c)) {
            ++i;
            return kReplacement;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    i += length;
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return kReplacement;
    return cp;
}

void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        cp = kReplacement;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace

std::string EscapedUtf8(std::string_view text)
{
    static constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t start = i;
        const char32_t cp = DecodeOne(text, i);
        const bool wellFormed = cp != kReplacement || text.substr(start, i - start) == kReplacementUtf8;
        const bool control = cp < 0x20 ? cp != U'\t' && cp != U'\r' : cp == 0x7F;
        // Marks that show nothing or turn the line around: a byte-order mark, zero-width
        // characters, direction overrides.
        const bool invisible = cp == 0xFEFF || (cp >= 0x200B && cp <= 0x200F) || (cp >= 0x2028 && cp <= 0x202E) ||
            (cp >= 0x2060 && cp <= 0x2064) || (cp >= 0x2066 && cp <= 0x2069);
        if (wellFormed && !control && !invisible) {
            out.append(text.substr(start, i - start));
            continue;
        }
        static constexpr char kHex[] = "0123456789ABCDEF";
        // A well-formed invisible character is shown whole, an ill-formed sequence byte by byte.
        const std::size_t end = wellFormed ? i : start + 1;
        for (std::size_t k = start; k < end; ++k) {
            const auto byte = static_cast<unsigned char>(text[k]);
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
        i = end;
    }
    return out;
}

std::wstring Widen(std::string_view utf8)
{
    std::wstring out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();)
        out += static_cast<wchar_t>(DecodeOne(utf8, i));
    return out;
}

std::string Narrow(std::wstring_view wide)
{
    std::string out;
    out.reserve(wide.size());
    for (const wchar_t c : wide)
        AppendUtf8(out, static_cast<char32_t>(c));
    return out;
}

std::size_t Utf16Length(std::wstring_view wide)
{
    std::size_t units = 0;
    for (const wchar_t c : wide)
        units += static_cast<char32_t>(c) > 0xFFFF ? 2 : 1;
    return units;
}

} // namespace platform

namespace {

// Copies the converted text into a Win32-style output buffer.
template <typename Char, typename String>
int CopyOut(const String& converted, bool countTerminator, Char* dst, int dstLength)
{
    const int needed = static_cast<int>(converted.size()) + (countTerminator ? 1 : 0);
    if (dstLength == 0)
        return needed;
    if (dst == nullptr || dstLength < needed)
        return 0;
    std::copy(converted.begin(), converted.end(), dst);
    if (countTerminator)
        dst[converted.size()] = Char{};
    return needed;
}

} // namespace

int MultiByteToWideChar(UINT, DWORD, LPCSTR src, int srcLength, LPWSTR dst, int dstLength)
{
    if (src == nullptr)
        return 0;
    const bool terminated = srcLength < 0;
    const std::size_t length = terminated ? std::strlen(src) : static_cast<std::size_t>(srcLength);
    return CopyOut(platform::Widen(std::string_view(src, length)), terminated, dst, dstLength);
}

int WideCharToMultiByte(UINT, DWORD, LPCWSTR src, int srcLength, LPSTR dst, int dstLength, LPCSTR, BOOL* usedDefault)
{
    if (usedDefault != nullptr)
        *usedDefault = FALSE;
    if (src == nullptr)
        return 0;
    const bool terminated = srcLength < 0;
    const std::size_t length = terminated ? std::wcslen(src) : static_cast<std::size_t>(srcLength);
    return CopyOut(platform::Narrow(std::wstring_view(src, length)), terminated, dst, dstLength);
}

int lstrlenW(LPCWSTR text) { return text == nullptr ? 0 : static_cast<int>(std::wcslen(text)); }
