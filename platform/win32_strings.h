// Wide/narrow conversion. The thread's ANSI code page is UTF-8 on this platform.
#pragma once

#include "platform/win32_types.h"

#include <string>
#include <string_view>

inline constexpr UINT CP_ACP = 0;
inline constexpr UINT CP_THREAD_ACP = 3;
inline constexpr UINT CP_UTF8 = 65001;

// Win32 shape: with cchWideChar (cbMultiByte) 0 the needed length is returned.
// A length of -1 for the source means "NUL-terminated, count the terminator".
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, int srcLength, LPWSTR dst, int dstLength);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR src, int srcLength, LPSTR dst, int dstLength,
    LPCSTR defaultChar, BOOL* usedDefault);

int lstrlenW(LPCWSTR text);

namespace platform {

// UTF-8 <-> wide. Invalid UTF-8 sequences become U+FFFD; lone surrogates likewise.
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

// The text as it can be shown on one line: each byte that is not part of well-formed UTF-8, each
// control character other than tab and carriage return, and each character that shows nothing
// or turns the text around (byte-order mark, zero-width characters, direction overrides)
// becomes "\xFF" per byte. Equal to the text exactly when the text is printable UTF-8.
std::string EscapedUtf8(std::string_view text);

// Number of UTF-16 code units the text takes (characters above U+FFFF count twice).
std::size_t Utf16Length(std::wstring_view wide);

} // namespace platform
