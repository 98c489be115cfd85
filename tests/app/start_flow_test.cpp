// The main window's start flow in this process, driven as a user would: sticks plugged in and
// pulled out while the window is open, clicks on the start button.
#include "app/drive_check.h"
#include "app/main_window.h"
#include "app/package_key.h"
#include "app/start_flow.h"
#include "download_window/install_worker.h"
#include "file_bytes.h"
#include "net/package_address.h"
#include "platform/device_notifications.h"
#include "platform/ui_session.h"
#include "platform/ui_thread.h"
#include "platform/user_text_trace.h"
#include "platform/volume_table.h"
#include "program_run.h"
#include "script_server.h"
#include "skin/skin_resources.h"
#include "volume_map_fixture.h"

#include "control_click.h"
#include "download_window/download_wnd.h"
#include "platform/paint_surface.h"

#include <QAccessible>
#include <QWindow>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <fstream>
#include <functional>
#include <map>
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

// Holds the install worker at the start of the extraction, once its first progress is shown:
// the worker's debug output goes to a FIFO that nobody reads, so it waits in opening it until
// Release opens the other end.
// A logind stand-in answers the sleep inhibitor taken before the download, which then writes no
// debug line of its own.
class ExtractionGate {
public:
    explicit ExtractionGate(const fs::path& fifo)
        : m_fifo(fifo), m_logind({"/usr/bin/python3", SupportScript("logind_bus.py"), "--log", fifo.string() + ".log"})
    {
        EXPECT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        setenv("INSTALLER_DEBUG_OUTPUT", fifo.c_str(), 1);
        setenv("DBUS_SYSTEM_BUS_ADDRESS", m_logind.ReadyValue().c_str(), 1);
        std::signal(SIGPIPE, SIG_IGN);
    }
    ~ExtractionGate()
    {
        close(m_reader);
        unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    }
    ExtractionGate(const ExtractionGate&) = delete;
    ExtractionGate& operator=(const ExtractionGate&) = delete;
    void Release() { m_reader = open(m_fifo.c_str(), O_RDONLY | O_NONBLOCK); }

private:
    const fs::path m_fifo;
    ScriptServer m_logind;
    int m_reader = -1;
};

const std::wstring kCloseQuestion = L"课件正在安装，现在退出会导致U盘中的课件不完整，确定要退出吗？";
const std::wstring kWriting = L"正在写入文件";

struct PaintCountingFrame : CDuiFrameWnd {
    PaintCountingFrame() : CDuiFrameWnd(RunOptions{}) {}
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_PAINT)
            ++paints;
        return CDuiFrameWnd::HandleMessage(message, wParam, lParam);
    }
    std::atomic<int> paints{0};
};

class StartFlow : public ::testing::Test {
public:
    // The package on a loopback server sending about `rate` bytes a second (0: at once), with
    // further server options; every request is noted in m_requests.
    void Serve(int rate, std::vector<std::string> options = {})
    {
        const fs::path cloud = m_volumes.Folder("cloud");
        ASSERT_EQ(std::system(("python3 " + std::string(INSTALLER_SOURCE_DIR) + "/app/demo/make_sample_package.py " +
                      (cloud / "demo.zip").string())
                                  .c_str()),
            0);
        std::vector<std::string> argv{
            "/usr/bin/python3", SupportScript("http_test_server.py"), "--files", cloud.string()};
        if (rate != 0)
            argv.insert(argv.end(), {"--rate", std::to_string(rate)});
        argv.insert(argv.end(), {"--request-log", m_requests.string()});
        argv.insert(argv.end(), options.begin(), options.end());
        m_server = std::make_unique<ScriptServer>(argv);
        cloudBaseUrl = cloudBaseUrlAlt = "http://127.0.0.1:" + m_server->ReadyValue() + "/setup/";
        probeAddress = "127.0.0.1:" + m_server->ReadyValue();
        packageKey = "demo-1";
    }

    // A stick with room and a hard disk with room.
    void StickAndDisk()
    {
        m_volumes.Write("C fixed " + m_volumes.Folder("disk").string() + " free=20G\nE removable " +
            m_volumes.Folder("stick").string() + " free=8G\n");
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
            PaintCountingFrame frame;
            frame.Create(nullptr, L"DuiWnd", WS_OVERLAPPEDWINDOW | WS_VISIBLE, WS_EX_WINDOWEDGE);
            frame.CenterWindow();
            std::thread userThread([&] { user(frame); });
            frame.ShowModal();
            m_loopEnded = true;
            userThread.join();
            StopInstallWorkerAndWait(); // as the program does when its loop ends
            m_outcome = frame.m_outcome;
        }
        platform::ShutdownUi();
    }

    // From the user's thread: from now on messages and the completion window answer themselves.
    static void Unattended(CDuiFrameWnd& frame)
    {
        platform::InvokeOnUiThread([&] { frame.m_options.unattended = true; });
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

    // The status line of the download window ("" while there is none).
    static std::wstring Status()
    {
        std::wstring text;
        platform::InvokeOnUiThread([&] {
            if (g_downloadWnd)
                text = g_downloadWnd->StatusText();
        });
        return text;
    }

    // The message dialog on screen, or null.
    static HWND VisibleDialog()
    {
        HWND found = nullptr;
        EnumWindows(
            [](HWND hwnd, LPARAM result) {
                wchar_t text[16] = {};
                GetWindowTextW(hwnd, text, 16);
                if (!IsWindowVisible(hwnd) || std::wstring_view(text) != L"msgwnd2")
                    return TRUE;
                *reinterpret_cast<HWND*>(result) = hwnd;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&found));
        return found;
    }

    static void ClickInDialog(HWND dialog, LPCTSTR button)
    {
        POINT centre{};
        platform::InvokeOnUiThread([&] {
            auto* window = reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
            centre = CentreOf(*dynamic_cast<WindowImplBase*>(window), button);
        });
        PostClick(dialog, centre);
    }

    // Files beneath `folder` and their contents.
    static std::map<fs::path, std::string> FilesIn(const fs::path& folder)
    {
        std::map<fs::path, std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            if (entry.is_regular_file())
                files[fs::relative(entry.path(), folder)] = ReadFileBytes(entry.path());
        return files;
    }

    // The methods of the requests for the package the server saw, in order.
    std::vector<std::string> PackageRequests() const
    {
        std::vector<std::string> methods;
        std::ifstream log(m_requests);
        for (std::string line; std::getline(log, line);)
            if (line.find(" /setup/") != std::string::npos)
                methods.push_back(line.substr(0, line.find(' ')));
        return methods;
    }

    bool Shown(const std::wstring& text)
    {
        std::lock_guard lock(m_textsMutex);
        return std::find(m_texts.begin(), m_texts.end(), text) != m_texts.end();
    }

    VolumeMapFixture m_volumes;
    const fs::path m_stick = m_volumes.Dir() / "stick";
    const fs::path m_archive = m_volumes.Dir() / "disk/kelvo/demo.zip";
    std::atomic<bool> m_loopEnded{false};
    RunOutcome m_outcome = RunOutcome::Pending; // the frame's once its loop ended
    const fs::path m_requests = m_volumes.Dir() / "requests.log";
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
        Unattended(frame); // from here on messages and the completion window answer themselves
        ClickStart(frame);
    });

    EXPECT_TRUE(g_installStarted);
    EXPECT_FALSE(g_drivePulled);
    EXPECT_EQ(m_outcome, RunOutcome::Installed);
    EXPECT_TRUE(fs::exists(m_stick / "kelvoClient/启动课件.txt"));
    EXPECT_TRUE(fs::exists(m_archive));
}

TEST_F(StartFlow, PullingTheStickDuringTheDownloadTellsTheUserAndEndsEveryLoop)
{
    StickAndDisk();
    Serve(200'000);
    RunMainWindow([&](CDuiFrameWnd& frame) {
        ASSERT_TRUE(WaitUntil([&] { return OnUiThread(g_driveState) == DriveState::Ready; }));
        Unattended(frame); // the abort's message answers itself
        ClickStart(frame);
        const fs::path part = m_archive.string() + ".part";
        ASSERT_TRUE(WaitUntil([&] { return fs::exists(part) && fs::file_size(part) > 0; }));
        fs::rename(m_stick, m_volumes.Dir() / "pulled");
    });

    EXPECT_TRUE(g_drivePulled);
    EXPECT_TRUE(Shown(L"检测到课件U盘已拔出，安装终止。"));
    EXPECT_EQ(m_outcome, RunOutcome::Failed);
    EXPECT_FALSE(fs::exists(m_volumes.Dir() / "pulled/kelvoClient"));
}

TEST_F(StartFlow, ADoubleClickDuringASlowProbeStartsOneInstallation)
{
    StickAndDisk();
    Serve(0, {"--head-delay", "0.5"});
    RunMainWindow([&](CDuiFrameWnd& frame) {
        ASSERT_TRUE(WaitUntil([&] { return OnUiThread(g_driveState) == DriveState::Ready; }));
        Unattended(frame);
        ClickStart(frame);
        ClickStart(frame);
    });

    EXPECT_EQ(m_outcome, RunOutcome::Installed);
    // One installation: the size probe, the archive's tail, its body.
    EXPECT_EQ(PackageRequests(), (std::vector<std::string>{"HEAD", "GET", "GET"}));
}

// A second stick plugged in while the size probe runs is seen once it returns: the drive
// check's refusal, no download, and the window stays open for the next click.
TEST_F(StartFlow, AStickPluggedInDuringTheProbeIsCheckedBeforeTheDownload)
{
    StickAndDisk();
    Serve(0, {"--head-delay", "1.5"});
    RunMainWindow([&](CDuiFrameWnd& frame) {
        ASSERT_TRUE(WaitUntil([&] { return OnUiThread(g_driveState) == DriveState::Ready; }));
        ClickStart(frame);
        ASSERT_TRUE(WaitUntil([&] { return PackageRequests().size() == 1; }));
        m_volumes.Write("C fixed " + m_volumes.Folder("disk").string() + " free=20G\nE removable " + m_stick.string() +
            " free=8G\nF removable " + m_volumes.Folder("second").string() + " free=8G\n");
        ASSERT_TRUE(WaitUntil([&] { return Shown(L"请仅保留需要安装课件的U盘，多余的盘移除后，再继续操作！"); }));
        ASSERT_TRUE(WaitUntil([&] { return VisibleDialog() != nullptr; }));
        EXPECT_FALSE(OnUiThread(g_installStarted));
        ClickInDialog(VisibleDialog(), L"confirm_btn");
        ASSERT_TRUE(WaitUntil([&] { return VisibleDialog() == nullptr; }));
        PostMessageW(frame.GetHWND(), WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(PackageRequests(), (std::vector<std::string>{"HEAD"}));
    EXPECT_FALSE(fs::exists(m_stick / "kelvoClient"));
}

// Presses the main window's button of that name through its accessibility interface.
bool PressByScreenReader(CDuiFrameWnd& frame, const QString& name)
{
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(platform::NativeWindowOf(frame));
    for (int i = 0; window && i < window->childCount(); ++i) {
        if (window->child(i)->text(QAccessible::Name) == name) {
            window->child(i)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
            return true;
        }
    }
    return false;
}

// Three clicks and Enter with no stick: one message, however they were queued, and nothing
// afterwards; input made while the message shows goes nowhere either.
TEST_F(StartFlow, ATripleClickAndEnterWithNoStickShowOneMessage)
{
    m_volumes.Write("C fixed " + m_volumes.Folder("disk").string() + " free=20G\n");
    const std::wstring refusal = L"请插入需要安装课件的U盘后，再继续操作！";
    const auto shownTimes = [&] {
        std::lock_guard lock(m_textsMutex);
        return std::count(m_texts.begin(), m_texts.end(), refusal);
    };
    RunMainWindow([&](CDuiFrameWnd& frame) {
        ASSERT_TRUE(WaitUntil([&] { return OnUiThread(g_driveState) == DriveState::NoDrive; }));
        for (int i = 0; i < 3; ++i)
            ClickStart(frame);
        PostMessageW(frame.GetHWND(), WM_KEYDOWN, VK_RETURN, 0);
        ASSERT_TRUE(WaitUntil([&] { return VisibleDialog() != nullptr; }));
        ClickStart(frame); // while the message shows; the main window is not disabled
        platform::InvokeOnUiThread([&] { PressByScreenReader(frame, QStringLiteral("开始安装")); });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(shownTimes(), 1);
        ClickInDialog(VisibleDialog(), L"confirm_btn");
        ASSERT_TRUE(WaitUntil([&] { return VisibleDialog() == nullptr; }));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(shownTimes(), 1);
        EXPECT_EQ(VisibleDialog(), nullptr);
        // The next click is a new one.
        ClickStart(frame);
        ASSERT_TRUE(WaitUntil([&] { return shownTimes() == 2; }));
        ASSERT_TRUE(WaitUntil([&] { return VisibleDialog() != nullptr; }));
        ClickInDialog(VisibleDialog(), L"confirm_btn");
        ASSERT_TRUE(WaitUntil([&] { return VisibleDialog() == nullptr; }));
        PostMessageW(frame.GetHWND(), WM_CLOSE, 0, 0);
    });
    EXPECT_FALSE(g_installStarted);
}

TEST_F(StartFlow, TheScreenReadersPressOnStartInstalls)
{
    StickAndDisk();
    Serve(0);
    RunMainWindow([&](CDuiFrameWnd& frame) {
        ASSERT_TRUE(WaitUntil([&] { return OnUiThread(g_driveState) == DriveState::Ready; }));
        Unattended(frame); // the completion window answers itself
        platform::InvokeOnUiThread([&] { EXPECT_TRUE(PressByScreenReader(frame, QStringLiteral("开始安装"))); });
    });
    EXPECT_EQ(m_outcome, RunOutcome::Installed);
    EXPECT_TRUE(fs::exists(m_stick / "kelvoClient/启动课件.txt"));
}

TEST_F(StartFlow, TheWindowPaintsWhileTheProbeWaitsAndClosingItThenStartsNothing)
{
    StickAndDisk();
    Serve(0);
    ScriptServer silent({"/usr/bin/python3", SupportScript("http_test_server.py"), "--mode", "silent"});
    cloudBaseUrl = cloudBaseUrlAlt = "http://127.0.0.1:" + silent.ReadyValue() + "/setup/";
    RunMainWindow([&](CDuiFrameWnd& frame) {
        auto& counted = static_cast<PaintCountingFrame&>(frame);
        ASSERT_TRUE(WaitUntil([&] { return OnUiThread(g_driveState) == DriveState::Ready; }));
        ClickStart(frame);
        ASSERT_TRUE(WaitUntil([&] { return OnUiThread(g_installStarted); }));
        const int before = counted.paints;
        InvalidateRect(frame.GetHWND(), nullptr, TRUE);
        EXPECT_TRUE(WaitUntil([&] { return counted.paints > before; }, std::chrono::seconds(5)));
        POINT close{};
        platform::InvokeOnUiThread([&] { close = CentreOf(frame, L"closebtn"); });
        PostClick(frame.GetHWND(), close); // the only control that still works
    });

    EXPECT_EQ(g_downloadWnd, nullptr);
    EXPECT_FALSE(fs::exists(m_archive));
    EXPECT_TRUE(PackageRequests().empty());
}

// Esc on the download window while it writes, then the question answered with 确定 (`quit`)
// or with Enter, whose default is 取消.
void CloseWhileWriting(StartFlow& test, bool quit)
{
    test.StickAndDisk();
    test.Serve(0);
    ExtractionGate gate(test.m_volumes.Dir() / "gate");
    test.RunMainWindow([&](CDuiFrameWnd& frame) {
        ASSERT_TRUE(WaitUntil([&] { return OnUiThread(g_driveState) == DriveState::Ready; }));
        StartFlow::ClickStart(frame);
        ASSERT_TRUE(WaitUntil([&] { return StartFlow::Status().starts_with(kWriting); }));
        PostMessageW(g_downloadWnd->GetHWND(), WM_KEYDOWN, VK_ESCAPE, 0);
        ASSERT_TRUE(WaitUntil([&] { return test.Shown(kCloseQuestion) && StartFlow::VisibleDialog(); }));
        if (quit) {
            StartFlow::ClickInDialog(StartFlow::VisibleDialog(), L"confirm_btn");
            // The click is handled (the worker stopped) before the worker may go on, or it could
            // finish first and open the completion window, which nobody answers.
            const auto job = OnUiThread(g_downloadWnd->Job());
            ASSERT_TRUE(WaitUntil([&] { return job->StopRequested(); }));
        } else {
            PostMessageW(StartFlow::VisibleDialog(), WM_KEYDOWN, VK_RETURN, 0);
            ASSERT_TRUE(WaitUntil([&] { return !StartFlow::VisibleDialog(); }));
            StartFlow::Unattended(frame); // the completion window answers itself
        }
        gate.Release();
    });
    const fs::path dir = test.m_volumes.Dir();
    ASSERT_EQ(
        std::system(("unzip -qo " + (dir / "cloud/demo.zip").string() + " -d " + (dir / "ref").string()).c_str()), 0);
    const auto written = StartFlow::FilesIn(test.m_stick), archived = StartFlow::FilesIn(dir / "ref");
    EXPECT_EQ(test.m_outcome == RunOutcome::Installed, !quit);
    EXPECT_TRUE(quit || written == archived);
    // Stopped: whatever is on the stick is whole; the rest is absent.
    for (const auto& [path, content] : written)
        EXPECT_TRUE(archived.contains(path) && archived.at(path) == content) << path;
}

TEST_F(StartFlow, ClosingWhileWritingAsksAndCancelKeepsInstalling) { CloseWhileWriting(*this, false); }

TEST_F(StartFlow, ClosingWhileWritingAsksAndConfirmStopsWithNoPartFileLeft) { CloseWhileWriting(*this, true); }

TEST_F(StartFlow, APulledStickStopsTheWritingAndTheProgramWaitsForTheAnswer)
{
    StickAndDisk();
    Serve(0);
    ExtractionGate gate(m_volumes.Dir() / "gate");
    const fs::path pulled = m_volumes.Dir() / "pulled";
    RunMainWindow([&](CDuiFrameWnd& frame) {
        ASSERT_TRUE(WaitUntil([&] { return OnUiThread(g_driveState) == DriveState::Ready; }));
        ClickStart(frame);
        ASSERT_TRUE(WaitUntil([&] { return Status().starts_with(kWriting); }));
        fs::rename(m_stick, pulled);
        ASSERT_TRUE(WaitUntil([&] { return Shown(L"检测到课件U盘已拔出，安装终止。") && VisibleDialog(); }));
        const auto before = FilesIn(pulled);
        gate.Release();
        const auto job = OnUiThread(g_downloadWnd->Job());
        EXPECT_TRUE(job->WaitForEnd(std::chrono::seconds(10)));
        EXPECT_EQ(FilesIn(pulled), before);
        EXPECT_FALSE(m_loopEnded);
        {
            std::lock_guard lock(m_textsMutex);
            EXPECT_EQ(m_texts.back(), L"检测到课件U盘已拔出，安装终止。"); // the only message
        }
        EXPECT_TRUE(VisibleDialog());
        ClickInDialog(VisibleDialog(), L"confirm_btn");
    });
    EXPECT_EQ(m_outcome, RunOutcome::Failed);
}

} // namespace
