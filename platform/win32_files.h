// Files in the Win32 shape. Paths are letter paths ("D:\kelvo\a.zip"), translated to the
// volume behind the letter, or rooted paths without a letter ("\opt\app\x"), taken as native
// absolute paths. Backslashes and slashes both separate names.
#pragma once

#include "platform/win32_types.h"

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

struct SECURITY_ATTRIBUTES;

inline constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;
inline constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x00000001;
inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x00000010;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;

inline constexpr int ERROR_SUCCESS = 0;
inline constexpr int ERROR_FILE_NOT_FOUND = 2;
inline constexpr int ERROR_PATH_NOT_FOUND = 3;
inline constexpr int ERROR_ACCESS_DENIED = 5;
inline constexpr int ERROR_ALREADY_EXISTS = 183;
inline constexpr int ERROR_BAD_PATHNAME = 161;
inline constexpr int ERROR_MORE_DATA = 234;

DWORD GetFileAttributesW(LPCWSTR path);
BOOL DeleteFileA(LPCSTR path);
BOOL DeleteFileW(LPCWSTR path);
BOOL CreateDirectoryW(LPCWSTR path, SECURITY_ATTRIBUTES* security);
// Creates the folder with every missing parent. ERROR_SUCCESS, ERROR_ALREADY_EXISTS or an error.
int SHCreateDirectoryExW(HWND owner, LPCWSTR path, const SECURITY_ATTRIBUTES* security);
DWORD GetLastError();
void SetLastError(DWORD error);

namespace platform {

// The native path of a letter path or a rooted path; nullopt when the letter has no volume
// or the path is relative.
std::optional<std::string> NativePath(std::string_view path);
std::optional<std::string> NativePath(std::wstring_view path);

// A native absolute path in rooted form: "/opt/app/x" gives "\opt\app\x".
std::wstring RootedPath(std::string_view nativePath);

// fopen over a letter path; nullptr (errno ENOENT) when the letter has no volume.
std::FILE* OpenFile(std::string_view path, const char* mode);

} // namespace platform
