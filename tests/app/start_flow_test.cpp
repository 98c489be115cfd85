// The main window's start flow in this process, driven as a user would: sticks plugged in and
// pulled out while the window is open, clicks on the start button.
#include "app/drive_check.h"
#include "app/main_window.h"
#include "app/package_key.h"
#include "app/run_outcome.h"
#include "app/start_flow.h"
#include "install/install_worker.h"
#include "net/package_address.h"
#include "platform/device_notifications.h"
#include "platform/ui_session.h"
#include "platform/ui_thread.h"
#include "platform/user_text_trace.h"
#include "platform/volume_table.h"
#include "program_run.h"
#include "script_server.h"
#include "skin/skin_resources.h"
#include "ui/unattended.h"
#include "volume_map_fixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
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

class StartFlow : public ::testing::Test {
protected:
    // The package on a loopback server sending about `rate` bytes a second (0: at once).
    void Serve(int rate)
    {
        const fs::path cloud = m_volumes.Folder("cloud");
        ASSERT_EQ(std::system(("python3 " + std::string(INSTALLER_SOURCE_DIR) + "/app/demo/make_sample_package.py " +
                               (cloud / "demo.zip").string()).c_str()),
                  0);
        std::vector<std::string> argv{"/usr/bin/python3", SupportScript("http_test_server.py"), "--files", cloud.string()};
        if (rate != 0)
            argv.insert(argv.end(), {"--rate", std::to_string(rate)});
        m_server = std::make_unique<ScriptServer>(argv);
        cloudBaseUrl = cloudBaseUrlAlt = "http://127.0.0.1:" + m_server->ReadyValue() + "/setup/";
        probeAddress = "127.0.0.1:" + m_server->ReadyValue();
        packageKey = "demo-1";
    }

    // Runs the main window modally on this thread while `user` acts from another one.
    void RunMainWindow(const std::function<void(CDuiFrameWnd&)>& user)
    {
        platform::SetUserTextTrace([this](std::wstring_view text) {
            std::lock_guard lock(m_textsMutex);
            m_texts.emplace_back(text);
        });
        platform::InitializeUi();
        RegisterSkinResources();
        CPaintManagerUI::SetInstance(GetModuleHandleW(nullptr));
        {
            const platform::DeviceNotifications notifications(platform::VolumeTable::Instance());
            CDuiFrameWnd frame;
            frame.Create(nullptr, L"DuiWnd", WS_OVERLAPPEDWINDOW | WS_VISIBLE, WS_EX_WINDOWEDGE);
            frame.CenterWindow();
            std::thread userThread([&] { user(frame); });
            frame.ShowModal();
            userThread.join();
            StopInstallWorker(std::chrono::seconds(5));   // as the program does when its loop ends
        }
        platform::ShutdownUi();
    }

    // From the user's thread: a click on the start button.
    static void ClickStart(CDuiFrameWnd& frame)
    {
        RECT start{};
        platform::InvokeOnUiThread([&] { start = frame.PaintManager().FindControl(L"btnStart")->GetPos(); });
        const LPARAM centre = MAKELPARAM((start.left + start.right) / 2, (start.top + start.bottom) / 2);
        PostMessageW(frame.GetHWND(), WM_LBUTTONDOWN, 0, centre);
        PostMessageW(frame.GetHWND(), WM_LBUTTONUP, 0, centre);
    }

    bool Shown(const std::wstring& text)
    {
        std::lock_guard lock(m_textsMutex);
        return std::find(m_texts.begin(), m_texts.end(), text) != m_texts.end();
    }

    VolumeMapFixture m_volumes;
    const fs::path m_stick = m_volumes.Dir() / "stick";
    const fs::path m_archive = m_volumes.Dir() / "disk/kelvo/demo.zip";
    std::unique_ptr<ScriptServer> m_server;
    std::mutex m_textsMutex;
    std::vector<std::wstring> m_texts;
};

TEST_F(StartFlow, AStickPluggedInAfterTheWindowOpenedIsInstalledOntoWithTheNextClick)
{
    m_volumes.Write(
        "C fixed " + m_volumes.Folder("disk").string() + " free=20G\nE removable " + m_stick.string() + " free=8G\n");
    Serve(0);
    RunMainWindow([&](CDuiFrameWnd& frame) {
        ASSERT_TRUE(WaitUntil([&] { return OnUiThread(g_driveState) == DriveState::NoDrive; }));
        fs::create_directories(m_stick); // plugged in
        ASSERT_TRUE(WaitUntil([&] { return OnUiThread(g_driveState) == DriveState::Ready; }));
        SetUnattended(true);   // from here on messages and the completion window answer themselves
        ClickStart(frame);
    });

    EXPECT_TRUE(g_installStarted);
    EXPECT_FALSE(g_drivePulled);
    EXPECT_EQ(g_runOutcome, RunOutcome::Installed);
    EXPECT_TRUE(fs::exists(m_stick / "kelvoClient/启动课件.txt"));
    EXPECT_TRUE(fs::exists(m_archive));
}

TEST_F(StartFlow, PullingTheStickDuringTheDownloadTellsTheUserAndEndsEveryLoop)
{
    m_volumes.Write("C fixed " + m_volumes.Folder("disk").string() + " free=20G\nE removable " +
        m_volumes.Folder("stick").string() + " free=8G\n");
    Serve(200'000);
    RunMainWindow([&](CDuiFrameWnd& frame) {
        ASSERT_TRUE(WaitUntil([&] { return OnUiThread(g_driveState) == DriveState::Ready; }));
        SetUnattended(true);   // the abort's message answers itself
        ClickStart(frame);
        ASSERT_TRUE(WaitUntil([&] { return fs::exists(m_archive) && fs::file_size(m_archive) > 0; }));
        fs::rename(m_stick, m_volumes.Dir() / "pulled");
    });

    EXPECT_TRUE(g_drivePulled);
    EXPECT_TRUE(Shown(L"检测到课件U盘已拔出，安装终止。"));
    EXPECT_EQ(g_runOutcome, RunOutcome::Failed);
    EXPECT_FALSE(fs::exists(m_volumes.Dir() / "pulled/kelvoClient"));
}

} // namespace
