// File operations over letter paths.
#include "platform/win32_files.h"
#include "platform/volume_table.h"
#include "platform/win32_strings.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <filesystem>

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

DWORD ErrorFromErrno(int error)
{
    switch (error) {
    case 0:
        return ERROR_SUCCESS;
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case EEXIST:
        return ERROR_ALREADY_EXISTS;
    default:
        return ERROR_BAD_PATHNAME;
    }
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Joins the rest of a path to a native folder, backslashes made slashes, repeated separators
// folded.
std::string JoinNative(std::string folder, std::string_view rest)
{
    std::string out = std::move(folder);
    bool lastWasSeparator = !out.empty() && out.back() == '/';
    for (const char c : rest) {
        if (IsSeparator(c)) {
            if (!lastWasSeparator)
                out += '/';
            lastWasSeparator = true;
        } else {
            out += c;
            lastWasSeparator = false;
        }
    }
    return out;
}

} // namespace

namespace platform {

std::optional<std::string> NativePath(std::string_view path)
{
    if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') {
        const auto letter = static_cast<wchar_t>(std::toupper(static_cast<unsigned char>(path[0])));
        const auto volume = VolumeTable::Instance().Find(letter);
        if (!volume)
            return std::nullopt;
        const std::string_view rest = path.substr(2);
        std::string folder = volume->root;
        // "D:kelvo" means the same as "D:\kelvo": the letter's root is the only current folder.
        if (!rest.empty() && !IsSeparator(rest.front()) && folder.back() != '/')
            folder += '/';
        return JoinNative(std::move(folder), rest);
    }
    if (!path.empty() && IsSeparator(path.front()))
        return JoinNative(std::string(), path);
    return std::nullopt;
}

std::optional<std::string> NativePath(std::wstring_view path) { return NativePath(Narrow(path)); }

std::wstring RootedPath(std::string_view nativePath)
{
    std::wstring rooted = Widen(nativePath);
    for (wchar_t& c : rooted)
        if (c == L'/')
            c = L'\\';
    return rooted;
}

std::FILE* OpenFile(std::string_view path, const char* mode)
{
    const auto native = NativePath(path);
    if (!native) {
        errno = ENOENT;
        return nullptr;
    }
    return std::fopen(native->c_str(), mode);
}

} // namespace platform

DWORD GetLastError() { return lastError; }

void SetLastError(DWORD error) { lastError = error; }

DWORD GetFileAttributesW(LPCWSTR path)
{
    const auto native = path != nullptr ? platform::NativePath(std::wstring_view(path)) : std::nullopt;
    struct stat info {};
    if (!native || ::stat(native->c_str(), &info) != 0) {
        lastError = native ? ErrorFromErrno(errno) : ERROR_PATH_NOT_FOUND;
        return INVALID_FILE_ATTRIBUTES;
    }
    DWORD attributes = S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : 0;
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

BOOL DeleteFileA(LPCSTR path)
{
    const auto native = path != nullptr ? platform::NativePath(std::string_view(path)) : std::nullopt;
    if (!native) {
        lastError = ERROR_PATH_NOT_FOUND;
        return FALSE;
    }
    struct stat info {};
    if (::lstat(native->c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        lastError = ERROR_ACCESS_DENIED; // DeleteFile never removes folders
        return FALSE;
    }
    if (std::remove(native->c_str()) != 0) {
        lastError = ErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

BOOL DeleteFileW(LPCWSTR path)
{
    if (path == nullptr)
        return FALSE;
    const std::string narrow = platform::Narrow(path);
    return DeleteFileA(narrow.c_str());
}

BOOL CreateDirectoryW(LPCWSTR path, SECURITY_ATTRIBUTES*)
{
    const auto native = path != nullptr ? platform::NativePath(std::wstring_view(path)) : std::nullopt;
    if (!native) {
        lastError = ERROR_PATH_NOT_FOUND;
        return FALSE;
    }
    if (::mkdir(native->c_str(), 0755) != 0) {
        lastError = errno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

int SHCreateDirectoryExW(HWND, LPCWSTR path, const SECURITY_ATTRIBUTES*)
{
    const auto native = path != nullptr ? platform::NativePath(std::wstring_view(path)) : std::nullopt;
    if (!native)
        return ERROR_PATH_NOT_FOUND;
    std::error_code ec;
    if (std::filesystem::is_directory(*native, ec))
        return ERROR_ALREADY_EXISTS;
    std::filesystem::create_directories(*native, ec);
    if (ec)
        return static_cast<int>(ErrorFromErrno(ec.value()));
    return ERROR_SUCCESS;
}
