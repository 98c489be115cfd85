// The window shell of the program: the main window built from the embedded skin, its
// choice of download disk, start-up, the executable's folder, and the skin previews.
#include "app/main_window.h"
#include "app/program_directory.h"
#include "app/render_skin.h"
#include "app/startup.h"
#include "platform/ui_session.h"
#include "skin/skin_resources.h"
#include "temp_folder.h"
#include "ui_session_environment.h"
#include "volume_map_fixture.h"

#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace {

const auto* const g_ui = ::testing::AddGlobalTestEnvironment(new UiSessionEnvironment);

// Drops whatever a finished modal loop left queued (a re-posted quit).
void DrainQueue()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {}
}

class MainWindow : public ::testing::Test {
protected:
    void Disks(const std::string& lines) { m_volumes.Write(lines); }
    std::string Folder(const std::string& name) { return m_volumes.Folder(name).string(); }
    VolumeMapFixture m_volumes;
};

TEST_F(MainWindow, ConstructionPicksTheFixedDiskWithTheMostFreeSpace)
{
    Disks("C fixed " + Folder("c") + " free=10G\nD fixed " + Folder("d") + " free=50G\nE removable " + Folder("e") +
        " free=200G\n");
    g_downloadDisk = DriveInfo();
    CDuiFrameWnd frame(RunOptions{});
    EXPECT_EQ(frame.m_downloadDisk.driveName, L"D:");
    EXPECT_EQ(g_downloadDisk.driveName, L"D:");
    EXPECT_TRUE(frame.m_workFolder.IsEmpty());
    // A drive attached later does not change the choice.
    Disks("C fixed " + Folder("c") + " free=10G\nD fixed " + Folder("d") + " free=50G\nF fixed " + Folder("f") +
        " free=90G\n");
    EXPECT_EQ(frame.m_downloadDisk.driveName, L"D:");
}

TEST_F(MainWindow, HooksNameTheSkinAndTheClass)
{
    CDuiFrameWnd frame(RunOptions{});
    EXPECT_STREQ(frame.GetWindowClassName(), L"DuiFrame");
    EXPECT_EQ(frame.GetSkinFile(), L"mainWnd.xml");
    EXPECT_EQ(frame.GetSkinFolder(), L"");
    EXPECT_EQ(frame.GetZIPFileName(), L"");
    EXPECT_EQ(frame.GetResourceType(), UILIB_ZIPRESOURCE);
    EXPECT_EQ(frame.GetResourceID(), 108u);
}

TEST_F(MainWindow, OpensFromTheEmbeddedSkinAndClosesWithItsCloseButton)
{
    CDuiFrameWnd frame(RunOptions{});
    const HWND hwnd = frame.Create(nullptr, L"DuiWnd", WS_OVERLAPPEDWINDOW | WS_VISIBLE, WS_EX_WINDOWEDGE);
    ASSERT_TRUE(IsWindow(hwnd));
    RECT client;
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, 590);
    EXPECT_EQ(client.bottom, 420);
    const CControlUI* start = frame.PaintManager().FindControl(L"btnStart");
    ASSERT_TRUE(start);
    EXPECT_EQ(start->GetPos().right - start->GetPos().left, 240);
    const CControlUI* close = frame.PaintManager().FindControl(L"closebtn");
    ASSERT_TRUE(close);
    const RECT& rc = close->GetPos();
    const LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    PostMessageW(hwnd, WM_LBUTTONDOWN, 0, at);
    PostMessageW(hwnd, WM_LBUTTONUP, 0, at);
    frame.CenterWindow();
    EXPECT_EQ(frame.ShowModal(), 0u);
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(MainWindow, RunInstallerReturnsAPendingOutcomeWhenItsLoopEndsFirst)
{
    // A quit already queued ends the main loop as soon as it starts.
    PostQuitMessage(3);
    EXPECT_EQ(RunInstaller(GetModuleHandleW(nullptr), RunOptions{}), RunOutcome::Pending);
    DrainQueue();
}

TEST(ProgramDirectory, CutsAtTheLastBackslash)
{
    const struct {
        const wchar_t* path;
        const wchar_t* withSeparator;
        const wchar_t* withoutSeparator;
    } rows[] = {
        {L"C:\\a\\b.exe", L"C:\\a\\", L"C:\\a"},
        {L"D:\\tools\\setup.exe", L"D:\\tools\\", L"D:\\tools"},
        {L"C:\\b.exe", L"C:\\", L"C:"},
        {L"\\opt\\installer\\installer", L"\\opt\\installer\\", L"\\opt\\installer"},
        {L"no-separator", L"", L""},
        {L"", L"", L""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(FolderOfPath(row.path, false), row.withSeparator) << CDuiString(row.path).ToUtf8();
        EXPECT_EQ(FolderOfPath(row.path, true), row.withoutSeparator) << CDuiString(row.path).ToUtf8();
    }
}

TEST(ProgramDirectory, IsTheFolderOfThisExecutable)
{
    const CDuiString with = ProgramDirectory(false);
    const CDuiString without = ProgramDirectory(true);
    ASSERT_FALSE(without.IsEmpty());
    EXPECT_EQ(with, without + L"\\");
    const auto native = platform::NativePath(without.view());
    ASSERT_TRUE(native);
    EXPECT_EQ(std::filesystem::path(*native), std::filesystem::read_symlink("/proc/self/exe").parent_path());
    EXPECT_EQ(CPaintManagerUI::GetInstancePath(), with);
}

TEST(RenderSkin, WritesOnePreviewPerWindow)
{
    TempFolder out("render-skin");
    const std::string dir = (out.Path() / "previews").string(); // created on the way
    ASSERT_EQ(RenderSkin(dir), 0);
    const struct {
        const char* file;
        int width;
        int height;
    } previews[] = {
        {"mainWnd.png", 590, 420},
        {"DownloadWnd.png", 590, 420},
        {"CompleteWnd.png", 590, 420},
        {"msg.png", 360, 200},
        {"msg2.png", 360, 200},
    };
    for (const auto& preview : previews) {
        const QImage image(QString::fromStdString(dir + "/" + preview.file));
        ASSERT_FALSE(image.isNull()) << preview.file;
        EXPECT_EQ(image.width(), preview.width) << preview.file;
        EXPECT_EQ(image.height(), preview.height) << preview.file;
    }
    // The download preview's bar is filled to 42 of its 520 pixels: the bluest row says so.
    const QImage download(QString::fromStdString(dir + "/DownloadWnd.png"));
    int blue = 0;
    for (int y = 0; y < download.height(); ++y) {
        int row = 0;
        for (int x = 0; x < download.width(); ++x) {
            const QColor c = download.pixelColor(x, y);
            row += c.blue() > 180 && c.red() < 120 && c.green() < 180;
        }
        blue = std::max(blue, row);
    }
    EXPECT_NEAR(blue, 520 * 42 / 100, 6);
}

TEST(RenderSkin, FailsWhenTheFolderCannotBeMade)
{
    TempFolder out("render-skin");
    const auto blocker = out / "file";
    {
        std::FILE* f = std::fopen(blocker.c_str(), "w");
        ASSERT_TRUE(f);
        std::fclose(f);
    }
    EXPECT_EQ(RenderSkin((blocker / "sub").string()), 1);
}

} // namespace
