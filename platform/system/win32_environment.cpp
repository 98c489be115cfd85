#include "platform/win32_environment.h"
#include "platform/win32_strings.h"

#include <cstdlib>
#include <cwchar>

BOOL SetEnvironmentVariableW(LPCWSTR name, LPCWSTR value)
{
    if (name == nullptr || *name == L'\0')
        return FALSE;
    const std::string narrowName = platform::Narrow(name);
    const int result = value == nullptr ? ::unsetenv(narrowName.c_str())
                                        : ::setenv(narrowName.c_str(), platform::Narrow(value).c_str(), 1);
    return result == 0 ? TRUE : FALSE;
}

DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size)
{
    if (name == nullptr)
        return 0;
    const char* value = std::getenv(platform::Narrow(name).c_str());
    if (value == nullptr)
        return 0;
    const std::wstring wide = platform::Widen(value);
    if (buffer == nullptr || size <= wide.size())
        return static_cast<DWORD>(wide.size() + 1);
    std::wmemcpy(buffer, wide.c_str(), wide.size() + 1);
    return static_cast<DWORD>(wide.size());
}
