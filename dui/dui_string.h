// CDuiString: the library's wide string, a thin value type over std::wstring.
#pragma once

#include "dui/dui_types.h"

#include <cstdarg>
#include <string>
#include <string_view>

class CDuiString {
public:
    CDuiString() = default;
    CDuiString(LPCTSTR text);                      // null gives the empty string
    CDuiString(LPCTSTR text, int length);          // at most `length` characters; -1 = all
    CDuiString(wchar_t ch);
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
    void SetAt(int index, wchar_t ch);
    wchar_t operator[](int index) const { return GetAt(index); }

    void Assign(LPCTSTR text, int length = -1);
    void Append(LPCTSTR text);

    CDuiString& operator=(LPCTSTR text);
    CDuiString& operator=(wchar_t ch);
    CDuiString& operator+=(const CDuiString& other);
    CDuiString& operator+=(LPCTSTR text);
    CDuiString& operator+=(wchar_t ch);

    friend CDuiString operator+(const CDuiString& a, const CDuiString& b);
    friend CDuiString operator+(const CDuiString& a, LPCTSTR b);
    friend CDuiString operator+(LPCTSTR a, const CDuiString& b);

    friend bool operator==(const CDuiString& a, const CDuiString& b) { return a.m_text == b.m_text; }
    friend bool operator==(const CDuiString& a, LPCTSTR b) { return a.Compare(b) == 0; }
    friend bool operator<(const CDuiString& a, const CDuiString& b) { return a.m_text < b.m_text; }
    friend bool operator>(const CDuiString& a, const CDuiString& b) { return b < a; }
    friend bool operator<=(const CDuiString& a, const CDuiString& b) { return !(b < a); }
    friend bool operator>=(const CDuiString& a, const CDuiString& b) { return !(a < b); }

    // <0, 0, >0 like wcscmp; CompareNoCase folds case of every character.
    int Compare(LPCTSTR text) const;
    int CompareNoCase(LPCTSTR text) const;

    void MakeUpper();
    void MakeLower();
    CDuiString Left(int length) const;
    CDuiString Mid(int start, int length = -1) const;
    CDuiString Right(int length) const;
    // Index of the first match at or after `start`, -1 when none.
    int Find(wchar_t ch, int start = 0) const;
    int Find(LPCTSTR text, int start = 0) const;
    int ReverseFind(wchar_t ch) const;
    // Replaces every occurrence; returns how many were replaced.
    int Replace(LPCTSTR from, LPCTSTR to);

    // printf-style formatting into this string; returns the new length, or -1 (string emptied)
    // when the format cannot be applied. As with the Windows wide functions, %s and %c take
    // wide arguments; %hs and %hc take narrow ones.
    int Format(LPCTSTR format, ...);
    int SmallFormat(LPCTSTR format, ...);
    int FormatV(LPCTSTR format, va_list args);

private:
    std::wstring m_text;
};

// Convenience for formatting into a fresh string.
CDuiString DuiFormat(LPCTSTR format, ...);
