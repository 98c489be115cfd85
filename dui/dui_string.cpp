#include "dui/dui_string.h"

#include <cwchar>
#include <cwctype>

CDuiString::CDuiString(LPCTSTR text)
{
    if (text)
        m_text = text;
}

CDuiString CDuiString::FromUtf8(std::string_view utf8) { return CDuiString(platform::Widen(utf8)); }

std::string CDuiString::ToUtf8() const { return platform::Narrow(m_text); }

wchar_t CDuiString::GetAt(int index) const
{
    if (index < 0 || index >= GetLength())
        return L'\0';
    return m_text[static_cast<std::size_t>(index)];
}

CDuiString& CDuiString::operator=(LPCTSTR text)
{
    if (text)
        m_text = text;
    else
        m_text.clear();
    return *this;
}

CDuiString& CDuiString::operator+=(const CDuiString& other)
{
    m_text += other.m_text;
    return *this;
}

CDuiString& CDuiString::operator+=(LPCTSTR text)
{
    if (text)
        m_text += text;
    return *this;
}

CDuiString& CDuiString::operator+=(wchar_t ch)
{
    m_text += ch;
    return *this;
}

CDuiString operator+(const CDuiString& a, const CDuiString& b) { return CDuiString(a.m_text + b.m_text); }

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

int CDuiString::Compare(LPCTSTR text) const { return std::wcscmp(m_text.c_str(), text ? text : L""); }

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

CDuiString CDuiString::Left(int length) const
{
    if (length <= 0)
        return {};
    return CDuiString(m_text.substr(0, static_cast<std::size_t>(length)));
}

int CDuiString::ReverseFind(wchar_t ch) const
{
    const auto at = m_text.rfind(ch);
    return at == std::wstring::npos ? -1 : static_cast<int>(at);
}
