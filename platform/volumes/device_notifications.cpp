#include "platform/device_notifications.h"

#include "platform/volumes/volume_watcher.h"
#include "platform/win32_drives.h"
#include "platform/win32_system.h"
#include "platform/win32_window.h"

#include <vector>

namespace platform {
namespace {

constexpr UINT kVolumesChanged = WM_USER + 1;
constexpr const wchar_t* kRelayClass = L"PlatformDeviceNotificationRelay";

LRESULT RelayProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != kVolumesChanged)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    const auto arrived = static_cast<DWORD>(wParam);
    const auto removed = static_cast<DWORD>(lParam);
    if (removed != 0)
        BroadcastVolumeChange(DBT_DEVICEREMOVECOMPLETE, removed, hwnd);
    if (arrived != 0)
        BroadcastVolumeChange(DBT_DEVICEARRIVAL, arrived, hwnd);
    return 0;
}

struct EnumState {
    DWORD thread;
    HWND except;
    std::vector<HWND> windows;
};

BOOL CollectThreadWindow(HWND hwnd, LPARAM lParam)
{
    auto& state = *reinterpret_cast<EnumState*>(lParam);
    if (hwnd != state.except && GetWindowThreadProcessId(hwnd, nullptr) == state.thread)
        state.windows.push_back(hwnd);
    return TRUE;
}

} // namespace

void BroadcastVolumeChange(WPARAM event, DWORD unitMask, HWND except)
{
    EnumState state{GetCurrentThreadId(), except, {}};
    EnumWindows(&CollectThreadWindow, reinterpret_cast<LPARAM>(&state));
    DEV_BROADCAST_VOLUME volume;
    volume.dbcv_unitmask = unitMask;
    for (const HWND window : state.windows) {
        if (IsWindow(window)) // an earlier window's handler may have destroyed it
            SendMessageW(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&volume));
    }
}

DeviceNotifications::DeviceNotifications(VolumeTable& table)
{
    WNDCLASSEXW windowClass;
    windowClass.lpfnWndProc = &RelayProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kRelayClass;
    RegisterClassExW(&windowClass);
    m_relay = CreateWindowExW(
        WS_EX_TOOLWINDOW, kRelayClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, windowClass.hInstance, nullptr);
    const HWND relay = m_relay;
    m_watcher = std::make_unique<VolumeWatcher>(
        table, [relay](DWORD arrived, DWORD removed) { PostMessageW(relay, kVolumesChanged, arrived, removed); });
}

DeviceNotifications::~DeviceNotifications()
{
    m_watcher.reset(); // joins the watcher: nothing posts to the relay afterwards
    DestroyWindow(m_relay);
}

} // namespace platform
