#include "app/stick_eject.h"

#include "platform/drive_eject.h"
#include "platform/volume_table.h"
#include "platform/win32.h"
#include "ui/user_texts.h"

#include <iostream>

std::wstring EjectStick(const std::wstring& driveName)
{
    const std::optional<std::string> mountPoint = platform::NativePath(driveName + L"\\");
    if (!mountPoint)
        return text::kNotEjected;
    const platform::EjectResult result = platform::EjectMountedVolume(*mountPoint);
    switch (result.status) {
    case platform::EjectResult::Status::Ejected:
        return text::kEjected;
    case platform::EjectResult::Status::NoDevice:
        // A stick folder of the volume map is not a file system udisks2 mounted.
        if (platform::VolumeTable::Instance().UsesVolumeMap())
            return text::kVolumeMapStickNotEjected;
        break;
    case platform::EjectResult::Status::NotEjected:
        OutputDebugStringW(platform::Widen("eject " + *mountPoint + ": " + result.reason + "\n").c_str());
        break;
    }
    return text::kNotEjected;
}

void EjectInstalledStick(const std::wstring& driveName, bool unattended)
{
    const std::wstring said = EjectStick(driveName);
    if (unattended) {
        std::cout << platform::Narrow(said) << std::endl;
        return;
    }
    // The run's own loop ended on a quit request; one still pending would close the box at once.
    MSG pending;
    while (PeekMessageW(&pending, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {}
    MessageBoxW(nullptr, said.c_str(), text::kCaption, MB_OK);
}
