#include "platform/device_notifications.h"
#include "platform/volume_table.h"
#include "platform/win32.h"
#include "volume_map_fixture.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Notification {
    WPARAM event;
    DWORD devicetype;
    DWORD unitmask;
};

std::vector<Notification> g_received;

LRESULT RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DEVICECHANGE) {
        const auto* volume = reinterpret_cast<const DEV_BROADCAST_VOLUME*>(lParam);
        g_received.push_back({wParam, volume->dbcv_devicetype, volume->dbcv_unitmask});
        PostQuitMessage(0);
        return TRUE;
    }
    if (message == WM_TIMER) {
        PostQuitMessage(1); // nothing came
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// Runs this thread's messages until a notification (or a generous time-out) ends the loop.
void PumpUntilNotified(HWND window)
{
    SetTimer(window, 1, 20000, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchMessageW(&msg);
    KillTimer(window, 1);
}

TEST(DeviceNotifications, VolumesThatComeAndGoReachTheWindowsAsDeviceChanges)
{
    VolumeMapFixture fixture;
    const auto stick = fixture.Folder("stick");
    fixture.Write("C fixed " + fixture.Folder("disk").string() + "\nE removable " + stick.string() + "\nF removable " +
        (fixture.Dir() / "second").string() + "\n");
    platform::VolumeTable table(fixture.MapFile().string());

    WNDCLASSEXW windowClass;
    windowClass.lpfnWndProc = &RecordingProc;
    windowClass.lpszClassName = L"RecordingWindow";
    RegisterClassExW(&windowClass);
    const HWND window =
        CreateWindowExW(0, L"RecordingWindow", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    const platform::DeviceNotifications notifications(table);

    std::filesystem::remove(stick);
    PumpUntilNotified(window);
    fixture.Folder("second");
    PumpUntilNotified(window);

    ASSERT_EQ(g_received.size(), 2u);
    EXPECT_EQ(g_received[0].event, DBT_DEVICEREMOVECOMPLETE);
    EXPECT_EQ(g_received[0].devicetype, DBT_DEVTYP_VOLUME);
    EXPECT_EQ(g_received[0].unitmask, DWORD{1} << 4); // E:
    EXPECT_EQ(g_received[1].event, DBT_DEVICEARRIVAL);
    EXPECT_EQ(g_received[1].unitmask, DWORD{1} << 5); // F:
    DestroyWindow(window);
}

} // namespace
