#include "app/stick_eject.h"

#include "platform/drive_eject.h"
#include "platform/volume_table.h"
#include "platform/win32.h"

#include <iostream>

std::wstring EjectStick(const std::wstring& driveName)
{
    constexpr const wchar_t* kEjected = L"U盘已弹出，可以拔下。";
    constexpr const wchar_t* kNotEjected = L"U盘已安全写入，可以拔下，但未能弹出。";
    constexpr const wchar_t* kVolumeMapStick = L"卷映射中的U盘无法弹出。";

    const std::optional<std::string> mountPoint = platform::NativePath(driveName + L"\\");
    if (!mountPoint)
        return kNotEjected;
    const platform::EjectResult result = platform::EjectMountedVolume(*mountPoint);
    switch (result.status) {
    case platform::EjectResult::Status::Ejected:
        return kEjected;
    case platform::EjectResult::Status::NoDevice:
        // A stick folder of the volume map is not a file system udisks2 mounted.
        if (platform::VolumeTable::Instance().UsesVolumeMap())
            return kVolumeMapStick;
        break;
    case platform::EjectResult::Status::NotEjected:
        OutputDebugStringW(platform::Widen("eject " + *mountPoint + ": " + result.reason + "\n").c_str());
        break;
    }
    return kNotEjected;
}

void EjectInstalledStick(const std::wstring& driveName, bool unattended)
{
    const std::wstring text = EjectStick(driveName);
    if (unattended) {
        std::cout << platform::Narrow(text) << std::endl;
        return;
    }
    // The run's own loop ended on a quit request; one still pending would close the box at once.
    MSG pending;
    while (PeekMessageW(&pending, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {}
    MessageBoxW(nullptr, text.c_str(), L"提示", MB_OK);
}
