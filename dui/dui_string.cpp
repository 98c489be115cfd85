#include "dui/dui_string.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <vector>

namespace {

// Rewrites a format written for the Windows wide printf family into the C library's
// wide printf: a bare %s / %c means a wide argument there and a narrow one here.
std::wstring PortableFormat(std::wstring_view format)
{
    std::wstring out;
    out.reserve(format.size() + 8);
    std::size_t i = 0;
    while (i < format.size()) {
        const wchar_t ch = format[i++];
        out += ch;
        if (ch != L'%')
            continue;
        // flags, width, precision
        while (i < format.size() && std::wcschr(L"-+ #0123456789.*", format[i]))
            out += format[i++];
        std::wstring length;
        while (i < format.size() && std::wcschr(L"hlLqjzt", format[i]))
            length += format[i++];
        if (i >= format.size()) {
            out += length;
            break;
        }
        const wchar_t conversion = format[i++];
        if (conversion == L's' || conversion == L'c') {
            if (length.empty())
                out += L'l';                  // wide, as on Windows
            else if (length == L"h")
                length.clear();               // narrow
            out += length;
            out += conversion;
        } else if (conversion == L'S' || conversion == L'C') {
            out += static_cast<wchar_t>(std::towlower(conversion)); // narrow
        } else {
            out += length;
            out += conversion;
        }
    }
    return out;
}

} // namespace

CDuiString::CDuiString(LPCTSTR text)
{
    if (text)
        m_text = text;
}

CDuiString::CDuiString(LPCTSTR text, int length)
{
    Assign(text, length);
}

CDuiString::CDuiString(wchar_t ch) : m_text(1, ch) {}

CDuiString CDuiString::FromUtf8(std::string_view utf8)
{
    return CDuiString(platform::Widen(utf8));
}

std::string CDuiString::ToUtf8() const
{
    return platform::Narrow(m_text);
}

wchar_t CDuiString::GetAt(int index) const
{
    if (index < 0 || index >= GetLength())
        return L'\0';
    return m_text[static_cast<std::size_t>(index)];
}

void CDuiString::SetAt(int index, wchar_t ch)
{
    if (index >= 0 && index < GetLength())
        m_text[static_cast<std::size_t>(index)] = ch;
}

void CDuiString::Assign(LPCTSTR text, int length)
{
    if (!text) {
        m_text.clear();
        return;
    }
    const std::size_t available = std::wcslen(text);
    const std::size_t count =
        length < 0 ? available : std::min(available, static_cast<std::size_t>(length));
    m_text.assign(text, count);
}

void CDuiString::Append(LPCTSTR text)
{
    if (text)
        m_text += text;
}

CDuiString& CDuiString::operator=(LPCTSTR text)
{
    Assign(text);
    return *this;
}

CDuiString& CDuiString::operator=(wchar_t ch)
{
    m_text.assign(1, ch);
    return *this;
}

CDuiString& CDuiString::operator+=(const CDuiString& other)
{
    m_text += other.m_text;
    return *this;
}

CDuiString& CDuiString::operator+=(LPCTSTR text)
{
    Append(text);
    return *this;
}

CDuiString& CDuiString::operator+=(wchar_t ch)
{
    m_text += ch;
    return *this;
}

CDuiString operator+(const CDuiString& a, const CDuiString& b)
{
    return CDuiString(a.m_text + b.m_text);
}

CDuiString operator+(const CDuiString& a, LPCTSTR b)
{
    CDuiString result(a);
    result += b;
    return result;
}

CDuiString operator+(LPCTSTR a, const CDuiString& b)
{
    CDuiString result(a);
    result += b;
    return result;
}

int CDuiString::Compare(LPCTSTR text) const
{
    return std::wcscmp(m_text.c_str(), text ? text : L"");
}

int CDuiString::CompareNoCase(LPCTSTR text) const
{
    const wchar_t* a = m_text.c_str();
    const wchar_t* b = text ? text : L"";
    for (;; ++a, ++b) {
        const auto ca = std::towlower(static_cast<wint_t>(*a));
        const auto cb = std::towlower(static_cast<wint_t>(*b));
        if (ca != cb)
            return ca < cb ? -1 : 1;
        if (ca == 0)
            return 0;
    }
}

void CDuiString::MakeUpper()
{
    for (auto& ch : m_text)
        ch = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(ch)));
}

void CDuiString::MakeLower()
{
    for (auto& ch : m_text)
        ch = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(ch)));
}

CDuiString CDuiString::Left(int length) const
{
    return Mid(0, length);
}

CDuiString CDuiString::Mid(int start, int length) const
{
    if (start < 0)
        start = 0;
    if (start >= GetLength())
        return {};
    const auto count = length < 0 ? std::wstring::npos : static_cast<std::size_t>(length);
    return CDuiString(m_text.substr(static_cast<std::size_t>(start), count));
}

CDuiString CDuiString::Right(int length) const
{
    if (length <= 0)
        return {};
    const int start = std::max(0, GetLength() - length);
    return Mid(start);
}

int CDuiString::Find(wchar_t ch, int start) const
{
    if (start < 0 || start > GetLength())
        return -1;
    const auto at = m_text.find(ch, static_cast<std::size_t>(start));
    return at == std::wstring::npos ? -1 : static_cast<int>(at);
}

int CDuiString::Find(LPCTSTR text, int start) const
{
    if (!text || start < 0 || start > GetLength())
        return -1;
    const auto at = m_text.find(text, static_cast<std::size_t>(start));
    return at == std::wstring::npos ? -1 : static_cast<int>(at);
}

int CDuiString::ReverseFind(wchar_t ch) const
{
    const auto at = m_text.rfind(ch);
    return at == std::wstring::npos ? -1 : static_cast<int>(at);
}

int CDuiString::Replace(LPCTSTR from, LPCTSTR to)
{
    if (!from || !*from)
        return 0;
    const std::wstring_view needle(from);
    const std::wstring_view replacement(to ? to : L"");
    int count = 0;
    std::size_t at = 0;
    while ((at = m_text.find(needle, at)) != std::wstring::npos) {
        m_text.replace(at, needle.size(), replacement);
        at += replacement.size();
        ++count;
    }
    return count;
}

int CDuiString::FormatV(LPCTSTR format, va_list args)
{
    m_text.clear();
    if (!format)
        return 0;
    const std::wstring portable = PortableFormat(format);
    std::vector<wchar_t> buffer(256);
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        const int written = std::vswprintf(buffer.data(), buffer.size(), portable.c_str(), copy);
        va_end(copy);
        if (written >= 0) {
            m_text.assign(buffer.data(), static_cast<std::size_t>(written));
            return written;
        }
        // vswprintf reports a full buffer and a bad format alike; grow up to a sane bound.
        if (buffer.size() >= (1u << 20))
            return -1;
        buffer.resize(buffer.size() * 4);
    }
}

int CDuiString::Format(LPCTSTR format, ...)
{
    va_list args;
    va_start(args, format);
    const int result = FormatV(format, args);
    va_end(args);
    return result;
}

int CDuiString::SmallFormat(LPCTSTR format, ...)
{
    va_list args;
    va_start(args, format);
    const int result = FormatV(format, args);
    va_end(args);
    return result;
}

CDuiString DuiFormat(LPCTSTR format, ...)
{
    CDuiString result;
    va_list args;
    va_start(args, format);
    result.FormatV(format, args);
    va_end(args);
    return result;
}
