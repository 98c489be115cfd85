// The private messages the install worker posts to the download window.
#pragma once

#include "platform/win32_window.h"
#include "session/install_failure.h"

// Posted by the worker to the main window when the package is on the drive.
inline constexpr UINT WM_INSTALL_DONE = WM_USER + 1014;
// Posted by the worker to the main window when writing found the stick gone (its device went
// away, or its folder no longer leads to the folder being written): the pulled-stick abort.
inline constexpr UINT WM_INSTALL_STICK_PULLED = WM_USER + 1017;

// New progress waits in the job (InstallJob::TakeProgress). wParam 0, lParam 0.
inline constexpr UINT WM_INSTALL_PROGRESS = WM_USER + 1015;
// The installation failed; wParam is the InstallFailure. The window tells the user, hides
// and closes; once a stop was requested (the stick was pulled) it drops the message. lParam:
// the WorkFolderProblem for InstallFailure::WorkFolderUnsafe, 0 otherwise.
inline constexpr UINT WM_INSTALL_FAILED = WM_USER + 1016;
