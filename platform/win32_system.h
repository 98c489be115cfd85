// Threads, the module, embedded resources and debug output in the Win32 shape.
#pragma once

#include "platform/win32_types.h"

// ---- Threads --------------------------------------------------------------------------------
using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID);
struct SECURITY_ATTRIBUTES;

// Starts a thread running routine(parameter). The handle only names the thread: closing it
// neither waits for nor stops the thread.
HANDLE CreateThread(SECURITY_ATTRIBUTES* security, SIZE_T stackSize, LPTHREAD_START_ROUTINE routine, LPVOID parameter,
    DWORD creationFlags, LPDWORD threadId);
BOOL CloseHandle(HANDLE handle);
inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_TIMEOUT = 258;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
inline constexpr DWORD STILL_ACTIVE = 259;
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL GetExitCodeThread(HANDLE handle, LPDWORD exitCode);
void Sleep(DWORD milliseconds);
DWORD GetCurrentThreadId();
// Milliseconds since the program started.
DWORD GetTickCount();

// ---- Module ---------------------------------------------------------------------------------
HMODULE GetModuleHandleW(LPCWSTR name);
// The executable's path as a rooted path (see win32_files.h), e.g. "\opt\installer\installer".
// A buffer too small gets the path cut to size - 1 characters and the result is `size`.
DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size);

// ---- Resources ------------------------------------------------------------------------------
struct HRSRC__;
using HRSRC = HRSRC__*;
using HGLOBAL = void*;
inline LPCWSTR const RT_ICON = reinterpret_cast<LPCWSTR>(static_cast<UINT_PTR>(3));
HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
DWORD SizeofResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL data);

namespace platform {
// Embedded data is registered at start-up by the target that embeds it; `data` must stay valid
// for the rest of the program. Registering a type and id again replaces the data.
// `type` is a name ("ZIPRES") or an integer resource (RT_ICON).
void RegisterResource(LPCWSTR type, WORD id, const void* data, std::size_t size);
} // namespace platform

// ---- Debug output ---------------------------------------------------------------------------
// Silent unless INSTALLER_DEBUG_OUTPUT is set: "1" or "stderr" writes to standard error, any
// other value names a file to append to.
void OutputDebugStringW(LPCWSTR text);
