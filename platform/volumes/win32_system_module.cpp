// The program's one module: its handle and the path of its executable.
#include "platform/win32_files.h"
#include "platform/win32_system.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <string>

namespace {

// The module handle is the address of this object; its value means nothing else.
const char moduleAnchor = 0;

HMODULE ProgramModule() { return reinterpret_cast<HMODULE>(const_cast<char*>(&moduleAnchor)); }

std::string ExecutablePath()
{
    std::array<char, 4096> buffer{};
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    return length > 0 ? std::string(buffer.data(), static_cast<std::size_t>(length)) : std::string();
}

} // namespace

HMODULE GetModuleHandleW(LPCWSTR name) { return name ? nullptr : ProgramModule(); }

DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size)
{
    if ((module && module != ProgramModule()) || !buffer || size == 0)
        return 0;
    const std::string native = ExecutablePath();
    if (native.empty())
        return 0;
    const std::wstring path = platform::RootedPath(native);
    if (path.size() >= size) {
        std::copy_n(path.begin(), size - 1, buffer);
        buffer[size - 1] = L'\0';
        return size;
    }
    std::copy(path.begin(), path.end(), buffer);
    buffer[path.size()] = L'\0';
    return static_cast<DWORD>(path.size());
}
