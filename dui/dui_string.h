// CDuiString: the library's wide string, a thin value type over std::wstring.
#pragma once

#include "dui/dui_types.h"

#include <string>
#include <string_view>

class CDuiString {
public:
    CDuiString() = default;
    CDuiString(LPCTSTR text); // null gives the empty string
    CDuiString(std::wstring text) : m_text(std::move(text)) {}
    CDuiString(std::wstring_view text) : m_text(text) {}

    // UTF-8 in and out (the thread's ANSI code page on this platform).
    static CDuiString FromUtf8(std::string_view utf8);
    std::string ToUtf8() const;

    int GetLength() const { return static_cast<int>(m_text.size()); }
    bool IsEmpty() const { return m_text.empty(); }
    void Empty() { m_text.clear(); }
    LPCTSTR GetData() const { return m_text.c_str(); }
    operator LPCTSTR() const { return m_text.c_str(); }
    const std::wstring& str() const { return m_text; }
    std::wstring_view view() const { return m_text; }

    // Out of range gives L'\0'.
    wchar_t GetAt(int index) const;
    wchar_t operator[](int index) const { return GetAt(index); }

    CDuiString& operator=(LPCTSTR text);
    CDuiString& operator+=(const CDuiString& other);
    CDuiString& operator+=(LPCTSTR text);
    CDuiString& operator+=(wchar_t ch);

    friend CDuiString operator+(const CDuiString& a, const CDuiString& b);
    friend CDuiString operator+(const CDuiString& a, LPCTSTR b);
    friend CDuiString operator+(LPCTSTR a, const CDuiString& b);

    friend bool operator==(const CDuiString& a, const CDuiString& b) { return a.m_text == b.m_text; }
    friend bool operator==(const CDuiString& a, LPCTSTR b) { return a.Compare(b) == 0; }

    // <0, 0, >0 like wcscmp; CompareNoCase folds case of every character.
    int Compare(LPCTSTR text) const;
    int CompareNoCase(LPCTSTR text) const;

    // The first `length` characters (all of them when there are fewer; none for 0 or less).
    CDuiString Left(int length) const;
    // Index of the last match, -1 when none.
    int ReverseFind(wchar_t ch) const;

private:
    std::wstring m_text;
};
