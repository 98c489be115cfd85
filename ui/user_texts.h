// Texts the user reads, named once.
#pragma once

// Rights could not be had: no pkexec, no polkit agent, the password refused or the dialog
// dismissed.
inline constexpr const wchar_t* kNoAdministratorRightsText =
    L"无法获得管理员权限，课件安装工具需要管理员权限才能安装课件。";
