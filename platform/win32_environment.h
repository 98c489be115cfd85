// Environment variables in the Win32 shape.
#pragma once

#include "platform/win32_types.h"

// A null value removes the variable. Takes effect for everything read afterwards.
BOOL SetEnvironmentVariableW(LPCWSTR name, LPCWSTR value);
// Win32 shape: the length without the terminator when it fits, the needed size with the
// terminator when it does not, 0 when the variable is not set.
DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size);
