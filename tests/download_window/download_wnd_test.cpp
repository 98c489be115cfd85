// The download window's whole flow, offscreen: the worker against a loopback server, folders
// standing in for the hard disk (D:) and the stick (E:), real ZIP archives from Info-ZIP.
#include "download_window/download_wnd.h"
#include "download_window/install_worker.h"
#include "install_flow_support.h"
#include "net/package_address.h"
#include "platform/user_text_trace.h"
#include "platform/win32.h"
#include "scoped_env.h"
#include "temp_folder.h"
#include "test_http_server.h"
#include "ui_session_environment.h"
#include "volume_map_fixture.h"
#include "zip_tools.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// The drive table is read from one map for the whole process; each test rewrites it.
VolumeMapFixture g_volumes;

const auto* const g_ui = ::testing::AddGlobalTestEnvironment(new UiSessionEnvironment);

constexpr DWORD kDownloadWndStyle = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU;
constexpr const char* kArchiveName = "b1v2.zip";

const std::wstring kStartLine = L"正在下载 0%";
const std::wstring kDownloadPrefix = L"正在下载文件：";
const std::wstring kExtractPrefix = L"正在写入文件";
const std::wstring kVerifyPrefix = L"正在校验文件";

bool StartsWith(const std::wstring& text, const std::wstring& prefix) { return text.rfind(prefix, 0) == 0; }

// A package as the storage holds it: the client folder, a Chinese name, a large file.
struct PackageFile {
    const char* name;
    std::string bytes;
};

std::vector<PackageFile> PackageFiles()
{
    return {
        {"kelvoClient/client.ini", "[client]\nvolume=1\n"},
        {"kelvoClient/数学/第一课.txt", "一二三\n"},
        {"kelvoClient/media/lesson.bin", NoiseBytes(12 * 1024 * 1024)},
        {"readme.txt", "courseware\n"},
    };
}

class DownloadWndFlow : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(Disk());
        fs::create_directories(Stick());
        fs::create_directories(Served());
        g_volumes.Write("D fixed " + Disk().string() + "\nE removable " + Stick().string() + "\n");
        m_savedProbe = probeAddress;
        platform::SetUserTextTrace([this](std::wstring_view text) { m_userTexts.emplace_back(text); });
    }

    void TearDown() override
    {
        platform::SetUserTextTrace({});
        probeAddress = m_savedProbe;
        DrainQueue();
    }

    fs::path Disk() const { return m_root / "disk"; }
    fs::path Stick() const { return m_root / "stick"; }
    fs::path Served() const { return m_root / "served"; }
    fs::path ArchiveOnDisk() const { return Disk() / "kelvo" / kArchiveName; }

    // Packs PackageFiles() with Info-ZIP into the served folder.
    void ServePackage()
    {
        const fs::path source = m_root / "package";
        for (const PackageFile& file : PackageFiles()) {
            fs::create_directories((source / file.name).parent_path());
            WriteFileBytes(source / file.name, file.bytes);
        }
        ZipFolderWithInfoZip(source, Served() / kArchiveName);
    }

    // Runs the window modally as the start flow does, until it is gone (or the loop ends).
    // `prepare` may set the window's hooks before it is created.
    UINT RunWindow(const std::string& url, const std::string& workFolder = "D:\\kelvo\\",
        const std::wstring& extractRoot = L"E:", const std::function<void(ObservedDownloadWnd&)>& prepare = {})
    {
        m_window = std::make_unique<ObservedDownloadWnd>(
            InstallRequest{url, workFolder + kArchiveName, workFolder, extractRoot, Options(), {}}, m_owner.Handle());
        if (prepare)
            prepare(*m_window);
        m_window->Create(nullptr, L"正在安装", kDownloadWndStyle, WS_EX_WINDOWEDGE);
        m_window->CenterWindow();
        return m_window->ShowModal();
    }

    // Lets the worker end (the window's destructor waits for it) and delivers whatever it
    // posted last, so that a late message to the owner would be seen.
    void FinishWorker()
    {
        m_window.reset();
        DrainQueue();
    }

    const std::vector<StatusShown>& Shown() const { return m_shown; }

    void KeepShown()
    {
        m_shown = m_window->shown;
        m_windowDetails = m_window->details;
    }

    TempFolder m_root{"download-wnd"};
    OwnerWindow m_owner;
    std::unique_ptr<ObservedDownloadWnd> m_window;
    bool m_unattended = false; // nobody at the screen: messages answer themselves, status lines printed
    RunOptions Options() const
    {
        RunOptions options;
        options.unattended = m_unattended;
        return options;
    }
    std::vector<StatusShown> m_shown;
    std::vector<std::wstring> m_windowDetails;
    std::vector<std::wstring> m_userTexts;
    std::string m_savedProbe;
};

// ---- The whole installation ---------------------------------------------------------------

// The phase (1 download, 2 writing, 3 reading back) and whole-number percentage of each status
// line ("正在下载文件：42%" gives 1 and 42), in order; a line of no phase fails the test.
std::vector<std::pair<int, int>> PhasesAndPercents(const std::vector<std::wstring>& lines)
{
    std::vector<std::pair<int, int>> result;
    for (const std::wstring& line : lines) {
        const std::wstring* prefixes[] = {&kDownloadPrefix, &kExtractPrefix, &kVerifyPrefix};
        const auto phase = std::find_if(std::begin(prefixes), std::end(prefixes),
            [&line](const std::wstring* prefix) { return StartsWith(line, *prefix); });
        EXPECT_NE(phase, std::end(prefixes)) << platform::Narrow(line);
        if (phase == std::end(prefixes))
            continue;
        const std::wstring number = line.substr((*phase)->size());
        result.emplace_back(static_cast<int>(phase - std::begin(prefixes)) + 1, static_cast<int>(std::stod(number)));
    }
    return result;
}

TEST_F(DownloadWndFlow, InstallsThePackageAndHandsOverToTheMainWindow)
{
    ServePackage();
    const PackageServer server(Served());
    probeAddress = server.Address();
    m_unattended = true; // status lines on standard output as well

    testing::internal::CaptureStdout();
    // The work folder is missing with a parent: both are made.
    const UINT result = RunWindow(server.Url(kArchiveName), "D:\\setup\\kelvo\\");
    KeepShown();
    FinishWorker();
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, 1u);

    // The main window hears of the end first, then of the close.
    EXPECT_EQ(m_owner.Received(), (std::vector<UINT>{WM_INSTALL_DONE, WM_CLOSE}));
    EXPECT_TRUE(m_userTexts.empty());

    // On screen: the opening line, then download, writing and reading-back lines, each phase
    // rising, the bar at the line's percentage, ending on a full bar.
    ASSERT_GE(Shown().size(), 3u);
    EXPECT_EQ(Shown().front(), (StatusShown{kStartLine, 0}));
    EXPECT_EQ(Shown().back(), (StatusShown{L"正在校验文件100.00%", 100}));
    std::vector<std::wstring> shownLines;
    for (std::size_t i = 1; i < Shown().size(); ++i)
        shownLines.push_back(Shown()[i].text);
    const auto onScreen = PhasesAndPercents(shownLines);
    for (std::size_t i = 0; i < onScreen.size(); ++i) {
        // The line rounds ("%6.2lf": 99.996 reads 100.00), the bar truncates (99).
        EXPECT_LE(Shown()[i + 1].bar, onScreen[i].second) << platform::Narrow(shownLines[i]);
        EXPECT_GE(Shown()[i + 1].bar, onScreen[i].second - 1) << platform::Narrow(shownLines[i]);
        if (i > 0) {
            EXPECT_LE(onScreen[i - 1], onScreen[i]) << platform::Narrow(shownLines[i]);
        }
    }

    // The second line names each step of three, as the bar's accessible name names its phase.
    std::vector<std::wstring> steps;
    for (const std::wstring& detail : m_windowDetails)
        if (steps.empty() || detail.substr(0, 10) != steps.back())
            steps.push_back(detail.substr(0, 10));
    EXPECT_EQ(
        steps, (std::vector<std::wstring>{L"下载|", L"下载|第1步，共3步", L"写入|第2步，共3步", L"校验|第3步，共3步"}));

    // Printed: the same course, one line per whole percentage at most.
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = printed.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(platform::Widen(printed.substr(start, end - start)));
    ASSERT_GE(lines.size(), 3u) << printed;
    EXPECT_EQ(lines.front(), kStartLine);
    EXPECT_NE(std::find(lines.begin(), lines.end(), L"正在写入文件100.00%"), lines.end());
    EXPECT_EQ(lines.back(), L"正在校验文件100.00%");
    const auto printedSteps = PhasesAndPercents({lines.begin() + 1, lines.end()});
    for (std::size_t i = 1; i < printedSteps.size(); ++i)
        EXPECT_LT(printedSteps[i - 1], printedSteps[i]) << platform::Narrow(lines[i + 1]);

    // The package is on the stick, and the archive stays in the work folder.
    for (const PackageFile& file : PackageFiles())
        EXPECT_EQ(ReadFileBytes(Stick() / file.name), file.bytes) << file.name;
    EXPECT_EQ(ReadFileBytes(Disk() / "setup" / "kelvo" / kArchiveName), ReadFileBytes(Served() / kArchiveName));
}

// ---- The network check --------------------------------------------------------------------

// A probe address where nothing answers in time, and the system's own view of the network.
struct NetworkCase {
    const char* name;
    int networkManagerState;
    bool installs;
};

void PrintTo(const NetworkCase& c, std::ostream* out) { *out << c.name; }

class NetworkCheck : public DownloadWndFlow, public ::testing::WithParamInterface<NetworkCase> {};

TEST_P(NetworkCheck, DecidesWhetherTheInstallationGoesOn)
{
    ServePackage();
    const PackageServer server(Served());
    const TestHttpServer silent(TestHttpServer::Mode::Silent);
    probeAddress = silent.Address();
    const ScriptServer bus({"/usr/bin/python3", SupportScript("network_manager_bus.py"), "--state",
        std::to_string(GetParam().networkManagerState)});
    const ScopedEnv busAddress("DBUS_SYSTEM_BUS_ADDRESS", bus.ReadyValue());
    m_unattended = true;

    const UINT result = RunWindow(server.Url(kArchiveName));
    FinishWorker();

    if (GetParam().installs) {
        EXPECT_EQ(result, 1u);
        EXPECT_EQ(m_owner.Received(), (std::vector<UINT>{WM_INSTALL_DONE, WM_CLOSE}));
        EXPECT_TRUE(m_userTexts.empty());
        EXPECT_TRUE(fs::exists(Stick() / "kelvoClient" / "client.ini"));
    } else {
        EXPECT_EQ(result, 0u);
        EXPECT_EQ(m_userTexts, (std::vector<std::wstring>{L"网络不可用，请稍后再试。"}));
        EXPECT_EQ(m_owner.Received(), (std::vector<UINT>{WM_CLOSE}));
        // Nothing was downloaded: the work folder was not even made.
        EXPECT_FALSE(fs::exists(Disk() / "kelvo"));
        EXPECT_TRUE(fs::is_empty(Stick()));
    }
}

INSTANTIATE_TEST_SUITE_P(States, NetworkCheck,
    ::testing::Values(NetworkCase{"Offline", 20, false}, NetworkCase{"SystemSaysOnline", 70, true}),
    [](const ::testing::TestParamInfo<NetworkCase>& instance) { return std::string(instance.param.name); });

// ---- Failures the user is told about ------------------------------------------------------

TEST_F(DownloadWndFlow, UnreachableWorkFolderEndsWithItsMessage)
{
    ServePackage();
    const PackageServer server(Served());
    probeAddress = server.Address();
    m_unattended = true;
    WriteFileBytes(Disk() / "blocked", "a file where the folder would go");

    EXPECT_EQ(RunWindow(server.Url(kArchiveName), "D:\\blocked\\kelvo\\"), 0u);
    FinishWorker();
    EXPECT_EQ(m_userTexts, (std::vector<std::wstring>{L"无法在硬盘上创建下载文件夹，安装终止。"}));
    EXPECT_EQ(m_owner.Received(), (std::vector<UINT>{WM_CLOSE}));
    EXPECT_TRUE(fs::is_empty(Stick()));
}

struct DownloadFailureCase {
    const char* name;
    const char* path; // a route of tests/support/http_test_server.py
    const wchar_t* told;
};

void PrintTo(const DownloadFailureCase& c, std::ostream* out) { *out << c.path; }

class DownloadFailure : public DownloadWndFlow, public ::testing::WithParamInterface<DownloadFailureCase> {};

TEST_P(DownloadFailure, RemovesThePartialArchiveAndTellsTheUser)
{
    const TestHttpServer server;
    probeAddress = server.Address();

    // Answered by a click on the dialog's button, as a user would.
    ClickConfirmOfNextMessage();
    testing::internal::CaptureStdout();
    const UINT result = RunWindow(server.Url(GetParam().path));
    FinishWorker();
    const std::string printed = testing::internal::GetCapturedStdout();

    EXPECT_EQ(result, 0u);
    EXPECT_EQ(m_userTexts, (std::vector<std::wstring>{GetParam().told}));
    EXPECT_EQ(m_owner.Received(), (std::vector<UINT>{WM_CLOSE}));
    EXPECT_NE(printed.find("Download failed: "), std::string::npos) << printed;
    EXPECT_TRUE(fs::is_directory(Disk() / "kelvo"));
    EXPECT_FALSE(fs::exists(ArchiveOnDisk()));
    EXPECT_TRUE(fs::is_empty(Stick()));
}

INSTANTIATE_TEST_SUITE_P(Transfers, DownloadFailure,
    ::testing::Values(
        // The storage's answer that the package is not there is not the network's fault.
        DownloadFailureCase{"NotFound", "/status/404", L"当前书册的下载文件不存在，请添加微信kelvohelp001解决！"},
        DownloadFailureCase{"ConnectionDropped", "/drop/3000000", L"课件下载失败，请检查网络后重试。"}),
    [](const ::testing::TestParamInfo<DownloadFailureCase>& instance) { return std::string(instance.param.name); });

enum class ServedArchive { HtmlPage, UninstallableName, Package };

struct ExtractionFailureCase {
    const char* name;
    ServedArchive served;
    const wchar_t* stick; // the drive letter written to; F: has no volume
    const char* printedPart;
    std::vector<std::wstring> told; // what the user reads
    std::vector<UINT> ownerHears;
};

void PrintTo(const ExtractionFailureCase& c, std::ostream* out) { *out << c.name; }

class ExtractionFailure : public DownloadWndFlow, public ::testing::WithParamInterface<ExtractionFailureCase> {};

// Each failure names its side; a stick found gone is the main window's pulled-stick abort, and
// the download window says nothing of its own.
TEST_P(ExtractionFailure, IsNeverReportedAsInstalled)
{
    switch (GetParam().served) {
    case ServedArchive::HtmlPage:
        WriteFileBytes(Served() / kArchiveName, "<html><body>Service unavailable</body></html>\n");
        break;
    case ServedArchive::UninstallableName:
        BuildZipWithPython(Served() / kArchiveName, R"([{"name": "kelvoClient/a.txt", "text": "a"},
                                                        {"name": "kelvoClient/aux.txt", "text": "x"}])");
        break;
    case ServedArchive::Package:
        ServePackage();
        break;
    }
    const PackageServer server(Served());
    probeAddress = server.Address();
    m_unattended = true;

    testing::internal::CaptureStdout();
    const UINT result = RunWindow(server.Url(kArchiveName), "D:\\kelvo\\", GetParam().stick);
    FinishWorker();
    const std::string printed = testing::internal::GetCapturedStdout();

    EXPECT_EQ(result, 0u);
    EXPECT_EQ(m_userTexts, GetParam().told);
    EXPECT_EQ(m_owner.Received(), GetParam().ownerHears);
    EXPECT_NE(printed.find(GetParam().printedPart), std::string::npos) << printed;
    EXPECT_TRUE(fs::is_empty(Stick()));
}

INSTANTIATE_TEST_SUITE_P(Archives, ExtractionFailure,
    ::testing::Values(ExtractionFailureCase{"HtmlPageSavedAsArchive", ServedArchive::HtmlPage, L"E:",
                          "cannot open archive", {L"下载的课件文件已损坏，请重试。"}, {WM_CLOSE}},
        ExtractionFailureCase{"DeviceNameInTheArchive", ServedArchive::UninstallableName, L"E:",
            "\"kelvoClient/aux.txt\"", {L"课件文件中有无法安装的内容，请联系课件提供方。"}, {WM_CLOSE}},
        ExtractionFailureCase{"NoStickBehindTheLetter", ServedArchive::Package, L"F:", "cannot extract into", {},
            {WM_INSTALL_STICK_PULLED}}),
    [](const ::testing::TestParamInfo<ExtractionFailureCase>& instance) { return std::string(instance.param.name); });

// ---- Ending while the worker runs ---------------------------------------------------------

// The gate every post of the worker and the download thread goes through: once the stop has
// returned, nothing more reaches a window, whatever the poster still believes.
TEST(InstallJobGate, NothingIsPostedAfterTheStop)
{
    constexpr UINT kNote = WM_USER + 77;
    InstallJob job(nullptr, nullptr); // a null window posts to this thread's queue
    EXPECT_TRUE(job.Post({{nullptr, kNote, 1, 0}}));
    job.RequestStop();
    EXPECT_FALSE(job.Post({{nullptr, kNote, 2, 0}, {nullptr, kNote, 3, 0}}));
    std::vector<WPARAM> arrived;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, kNote, kNote, PM_REMOVE))
        arrived.push_back(msg.wParam);
    EXPECT_EQ(arrived, std::vector<WPARAM>{1});
}

// The worker's failures would show a message; answered at once, so a wrong one cannot hang.
class EndingFlow : public DownloadWndFlow {
protected:
    void SetUp() override
    {
        DownloadWndFlow::SetUp();
        m_unattended = true;
    }
};

TEST_F(EndingFlow, ClosingTheWindowDuringTheDownloadStopsIt)
{
    const TestHttpServer server;
    probeAddress = server.Address();

    bool clicked = false;
    const UINT result =
        RunWindow(server.Url("/stall/500000000"), "D:\\kelvo\\", L"E:", [&clicked](ObservedDownloadWnd& window) {
            window.onShown = [&clicked, &window](const StatusShown& shown) {
                if (!clicked && StartsWith(shown.text, kDownloadPrefix)) {
                    clicked = true;
                    PostClickOn(window, L"closebtn");
                }
            };
        });
    EXPECT_TRUE(clicked);
    EXPECT_EQ(result, 0u);
    // The main window ends the program on the forwarded close, and the program stops the worker.
    EXPECT_TRUE(StopInstallWorker(30s));
    FinishWorker();
    EXPECT_EQ(m_owner.Received(), (std::vector<UINT>{WM_CLOSE}));
    EXPECT_TRUE(m_userTexts.empty());
    EXPECT_FALSE(fs::exists(ArchiveOnDisk()));
    EXPECT_TRUE(fs::is_empty(Stick()));
}

TEST_F(EndingFlow, ProgramEndingDuringTheDownloadStopsTheWorkerWithoutAWord)
{
    const TestHttpServer server;
    probeAddress = server.Address();

    // The stick was pulled: the main window ends every loop with a quit, the download window
    // still exists, and the program stops the worker on its way out.
    bool quit = false;
    RunWindow(server.Url("/stall/500000000"), "D:\\kelvo\\", L"E:", [&quit](ObservedDownloadWnd& window) {
        window.onShown = [&quit](const StatusShown& shown) {
            if (!quit && StartsWith(shown.text, kDownloadPrefix)) {
                quit = true;
                PostQuitMessage(0);
            }
        };
    });
    ASSERT_TRUE(quit);
    ASSERT_TRUE(IsWindow(m_window->GetHWND()));
    EXPECT_TRUE(StopInstallWorker(30s));
    EXPECT_FALSE(fs::exists(ArchiveOnDisk()));

    // What was posted before the stop is delivered; nothing tells of a failure or an end.
    DrainQueue();
    EXPECT_TRUE(m_owner.Received().empty());
    EXPECT_TRUE(m_userTexts.empty());
    EXPECT_TRUE(IsWindow(m_window->GetHWND()));
    FinishWorker();
}

TEST_F(EndingFlow, StopDuringTheStartPauseDownloadsNothing)
{
    const TestHttpServer server;
    probeAddress = server.Address();

    bool quit = false;
    RunWindow(server.Url("/file/1000"), "D:\\kelvo\\", L"E:", [&quit](ObservedDownloadWnd& window) {
        window.onWindowInit = [&quit] {
            quit = true;
            PostQuitMessage(0);
        };
    });
    ASSERT_TRUE(quit);
    EXPECT_TRUE(StopInstallWorker(30s));
    DrainQueue();
    EXPECT_FALSE(fs::exists(Disk() / "kelvo"));
    EXPECT_TRUE(m_owner.Received().empty());
    EXPECT_TRUE(m_userTexts.empty());
    FinishWorker();
}

} // namespace
