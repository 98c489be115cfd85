// The Win32 stand-in: everything the application folders use of user32 and kernel32.
#pragma once

#include "platform/win32_drives.h"
#include "platform/win32_environment.h"
#include "platform/win32_files.h"
#include "platform/win32_strings.h"
#include "platform/win32_system.h"
#include "platform/win32_types.h"
#include "platform/win32_window.h"
