// Device notifications: while an object of this class lives, volumes that come and go reach
// the UI thread's top-level windows as WM_DEVICECHANGE with DBT_DEVICEARRIVAL or
// DBT_DEVICEREMOVECOMPLETE and a DEV_BROADCAST_VOLUME naming the letters, sent (not posted)
// from the UI thread's message loop, as the system does it.
#pragma once

#include "platform/win32_types.h"

#include <memory>

namespace platform {

class VolumeTable;
class VolumeWatcher;

class DeviceNotifications {
public:
    // Create and destroy on the UI thread.
    explicit DeviceNotifications(VolumeTable& table);
    ~DeviceNotifications();
    DeviceNotifications(const DeviceNotifications&) = delete;
    DeviceNotifications& operator=(const DeviceNotifications&) = delete;

private:
    HWND m_relay = nullptr; // hidden window the watcher posts to
    std::unique_ptr<VolumeWatcher> m_watcher;
};

// Sends WM_DEVICECHANGE (`event`, a DEV_BROADCAST_VOLUME with `unitMask`) to every top-level
// window of the calling thread except `except`.
void BroadcastVolumeChange(WPARAM event, DWORD unitMask, HWND except = nullptr);

} // namespace platform
