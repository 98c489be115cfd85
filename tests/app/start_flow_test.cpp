// The main window's start flow in this process, driven as a user would: a stick plugged in
// after the window opened, then a click on the start button.
#include "app/drive_check.h"
#include "app/main_window.h"
#include "app/package_key.h"
#include "app/run_outcome.h"
#include "app/start_flow.h"
#include "net/package_address.h"
#include "platform/device_notifications.h"
#include "platform/ui_session.h"
#include "platform/ui_thread.h"
#include "platform/volume_table.h"
#include "program_run.h"
#include "script_server.h"
#include "skin/skin_resources.h"
#include "ui/unattended.h"
#include "volume_map_fixture.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

namespace fs = std::filesystem;

// Reads a value that belongs to the UI thread.
template <typename T>
T OnUiThread(const T& value)
{
    T copy{};
    platform::InvokeOnUiThread([&] { copy = value; });
    return copy;
}

TEST(StartFlow, AStickPluggedInAfterTheWindowOpenedIsInstalledOntoWithTheNextClick)
{
    VolumeMapFixture volumes;
    const fs::path stick = volumes.Dir() / "stick";
    volumes.Write("C fixed " + volumes.Folder("disk").string() + " free=20G\nE removable " + stick.string() + " free=8G\n");
    const fs::path cloud = volumes.Folder("cloud");
    ASSERT_EQ(std::system(("python3 " + std::string(INSTALLER_SOURCE_DIR) + "/app/demo/make_sample_package.py " +
                           (cloud / "demo.zip").string()).c_str()),
              0);
    ScriptServer server({"/usr/bin/python3", SupportScript("http_test_server.py"), "--files", cloud.string()});
    cloudBaseUrl = cloudBaseUrlAlt = "http://127.0.0.1:" + server.ReadyValue() + "/setup/";
    probeAddress = "127.0.0.1:" + server.ReadyValue();
    packageKey = "demo-1";

    platform::InitializeUi();
    RegisterSkinResources();
    CPaintManagerUI::SetInstance(GetModuleHandleW(nullptr));
    {
        const platform::DeviceNotifications notifications(platform::VolumeTable::Instance());
        CDuiFrameWnd frame;
        frame.Create(nullptr, L"DuiWnd", WS_OVERLAPPEDWINDOW | WS_VISIBLE, WS_EX_WINDOWEDGE);
        frame.CenterWindow();

        std::thread user([&] {
            ASSERT_TRUE(WaitUntil([&] { return OnUiThread(g_driveState) == DriveState::NoDrive; }));
            fs::create_directories(stick);   // plugged in
            ASSERT_TRUE(WaitUntil([&] { return OnUiThread(g_driveState) == DriveState::Ready; }));
            SetUnattended(true);   // from here on messages and the completion window answer themselves
            RECT start{};
            platform::InvokeOnUiThread([&] { start = frame.PaintManager().FindControl(L"btnStart")->GetPos(); });
            const LPARAM centre = MAKELPARAM((start.left + start.right) / 2, (start.top + start.bottom) / 2);
            PostMessageW(frame.GetHWND(), WM_LBUTTONDOWN, 0, centre);
            PostMessageW(frame.GetHWND(), WM_LBUTTONUP, 0, centre);
        });
        frame.ShowModal();
        user.join();
    }
    platform::ShutdownUi();

    EXPECT_TRUE(g_installStarted);
    EXPECT_FALSE(g_drivePulled);
    EXPECT_EQ(g_runOutcome, RunOutcome::Installed);
    EXPECT_TRUE(fs::exists(stick / "kelvoClient/启动课件.txt"));
    EXPECT_TRUE(fs::exists(volumes.Dir() / "disk/kelvo/demo.zip"));
}

} // namespace
