#include "net/file_downloader.h"
#include "net_test_support.h"

#include "platform/win32_files.h"
#include "scratch_mount.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace {

struct ProgressReport {
    double total;
    double received;
};

// Records every progress report; thread-safe, since reports arrive on the download thread.
class ProgressLog {
public:
    ProgressCallback Callback()
    {
        return [this](double total, double received) {
            const std::lock_guard lock(m_mutex);
            m_reports.push_back({total, received});
            return 0;
        };
    }
    std::vector<ProgressReport> Reports() const
    {
        const std::lock_guard lock(m_mutex);
        return m_reports;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<ProgressReport> m_reports;
};

class FileDownloaderTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // Tries again come at once: a failure is the same, only not half a minute late.
        setenv("INSTALLER_RETRY_DELAY_MS", "10", 1);
        m_server = std::make_unique<TestHttpServer>();
    }
    static void TearDownTestSuite() { m_server.reset(); }

    std::string SavePath() const { return (m_dir.Path() / "package.zip").string(); }
    // A new file in the test's folder, made as the install worker makes the archive.
    platform::WritableFile SaveFile(const char* name = "package.zip") const
    {
        return platform::FolderHandle::OpenExisting(m_dir.Path().string())->CreateNewFile(name, 0644).Value();
    }
    // The same file in a folder opened by its path, for appending.
    platform::WritableFile AppendFile() const
    {
        return platform::FolderHandle::OpenExisting(m_dir.Path().string())->OpenFileForAppend("package.zip").Value();
    }
    // The test server over a folder holding `bytes` as p.zip, with `options` after its folder.
    std::vector<std::string> FileServer(const std::string& bytes, std::vector<std::string> options = {}) const
    {
        const auto files = m_dir.Path() / "files";
        std::filesystem::create_directories(files);
        std::ofstream(files / "p.zip", std::ios::binary) << bytes;
        std::vector<std::string> argv{
            "/usr/bin/python3", SupportScript("http_test_server.py"), "--files", files.string()};
        argv.insert(argv.end(), options.begin(), options.end());
        return argv;
    }
    // A new file on a tmpfs that has no room left: every write that reaches it fails with
    // ENOSPC. Nothing (with the reason in m_fullSkip) where no tmpfs can be mounted.
    std::optional<platform::WritableFile> FileOnFullDisk()
    {
        const auto folder = m_dir.Path() / "full";
        m_full.emplace(ScratchMount::Kind::Tmpfs, folder, 64 * 1024);
        m_fullSkip = m_full->SkipReason();
        if (!m_fullSkip.empty())
            return std::nullopt;
        std::ofstream(folder / "filler", std::ios::binary) << std::string(256 * 1024, 'f');
        return platform::FolderHandle::OpenExisting(folder.string())->CreateNewFile("package.zip", 0644).Value();
    }

    // What RunToEnd printed but the lines of each try again.
    static std::string WithoutRetries(const std::string& printed)
    {
        std::string kept;
        for (std::size_t start = 0; start < printed.size();) {
            const std::size_t end = std::min(printed.find('\n', start), printed.size() - 1) + 1;
            if (printed.compare(start, 21, "Download interrupted:") != 0)
                kept += printed.substr(start, end - start);
            start = end;
        }
        return kept;
    }

    // Downloads url into SavePath() and returns what the download thread printed.
    std::string RunToEnd(FileDownloader& downloader)
    {
        testing::internal::CaptureStdout();
        EXPECT_TRUE(downloader.Start());
        EXPECT_TRUE(WaitUntilEnded(downloader));
        return testing::internal::GetCapturedStdout();
    }

    static std::unique_ptr<TestHttpServer> m_server;
    TempDir m_dir;
    std::optional<ScratchMount> m_full; // unmounted before m_dir goes
    std::string m_fullSkip;
};
std::unique_ptr<TestHttpServer> FileDownloaderTest::m_server;

// ---- Complete transfers ---------------------------------------------------------------------

struct BodyCase {
    std::string route; // "file" (with Content-Length) or "chunked" (without)
    std::size_t length;
};

void PrintTo(const BodyCase& c, std::ostream* out) { *out << "/" << c.route << "/" << c.length; }

class BodyTest : public FileDownloaderTest, public testing::WithParamInterface<BodyCase> {};

TEST_P(BodyTest, WholeBodyLandsInFileWithProgress)
{
    const BodyCase& c = GetParam();
    const bool lengthKnown = c.route == "file";
    ProgressLog progress;
    FileDownloader downloader(m_server->Url("/" + c.route + "/" + std::to_string(c.length)), SaveFile());
    downloader.SetProgressCallback(progress.Callback());

    EXPECT_EQ(RunToEnd(downloader), "");
    EXPECT_TRUE(downloader.IsFinished());
    EXPECT_FALSE(downloader.IsFailed());
    EXPECT_TRUE(ReadFileBytes(SavePath()) == PatternBytes(c.length)) << "file content differs";

    const std::vector<ProgressReport> reports = progress.Reports();
    ASSERT_FALSE(reports.empty());
    double lastReceived = 0;
    for (const ProgressReport& report : reports) {
        EXPECT_GE(report.received, lastReceived);
        lastReceived = report.received;
        if (lengthKnown) {
            EXPECT_TRUE(report.total == 0 || report.total == static_cast<double>(c.length));
            EXPECT_LE(report.received, static_cast<double>(c.length));
        } else {
            EXPECT_EQ(report.total, 0);
        }
    }
    EXPECT_EQ(reports.back().received, static_cast<double>(c.length));
    if (lengthKnown) {
        EXPECT_EQ(reports.back().total, static_cast<double>(c.length));
    }
}

INSTANTIATE_TEST_SUITE_P(Bodies, BodyTest,
    testing::Values(BodyCase{"file", 0}, BodyCase{"file", 1}, BodyCase{"file", 1048575}, BodyCase{"file", 1048576},
        BodyCase{"file", 3 * 1048576 + 7}, BodyCase{"chunked", 1}, BodyCase{"chunked", 3 * 1048576 + 7}));

TEST_F(FileDownloaderTest, LetterPathReachesTheVolumeWithoutCallback)
{
    // C: is the root file system, so the temporary folder is reachable as a letter path.
    std::string letterPath = "C:" + SavePath();
    for (char& c : letterPath) {
        if (c == '/') {
            c = '\\';
        }
    }
    const auto folder = platform::FolderHandle::OpenExisting(
        platform::NativePath(letterPath.substr(0, letterPath.rfind('\\'))).value_or(""));
    ASSERT_TRUE(folder) << folder.Failure().Text();
    FileDownloader downloader(m_server->Url("/file/70000"), folder->CreateNewFile("package.zip", 0644).Value());
    RunToEnd(downloader);
    EXPECT_TRUE(downloader.IsFinished());
    EXPECT_TRUE(ReadFileBytes(SavePath()) == PatternBytes(70000));
}

TEST_F(FileDownloaderTest, AppendsToAnExistingFile)
{
    // The body goes on from where the file it is given stands.
    platform::WritableFile file = SaveFile();
    ASSERT_TRUE(file.Write("old bytes", 9));
    FileDownloader downloader(m_server->Url("/file/1000"), std::move(file));
    RunToEnd(downloader);
    EXPECT_TRUE(downloader.IsFinished());
    EXPECT_TRUE(ReadFileBytes(SavePath()) == "old bytes" + PatternBytes(1000));
}

TEST_F(FileDownloaderTest, FileUrlIsCopied)
{
    const auto source = m_dir.Path() / "source.zip";
    {
        std::FILE* file = std::fopen(source.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite(PatternBytes(200000).data(), 1, 200000, file);
        std::fclose(file);
    }
    FileDownloader downloader("file://" + source.string(), SaveFile());
    RunToEnd(downloader);
    EXPECT_TRUE(downloader.IsFinished());
    EXPECT_TRUE(ReadFileBytes(SavePath()) == PatternBytes(200000));
}

// ---- Failed transfers -----------------------------------------------------------------------

struct FailureCase {
    const char* name;
    std::string path;
    std::string diagnostic;
    DownloadFailure side = DownloadFailure::Transfer;
};

void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.path; }

class FailureTest : public FileDownloaderTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(FailureTest, EndsAsFailedWithOneLine)
{
    FileDownloader downloader(m_server->Url(GetParam().path), SaveFile());
    EXPECT_EQ(WithoutRetries(RunToEnd(downloader)), "Download failed: " + GetParam().diagnostic + "\n");
    EXPECT_TRUE(downloader.IsFailed());
    EXPECT_FALSE(downloader.IsFinished());
    EXPECT_EQ(downloader.Failure(), GetParam().side);
}

INSTANTIATE_TEST_SUITE_P(Answers, FailureTest,
    testing::Values(FailureCase{"NotFound", "/missing", "HTTP response code said error", DownloadFailure::Missing},
        FailureCase{"ServerError", "/status/500", "HTTP response code said error"},
        FailureCase{"Redirect", "/redirect", "HTTP response code said error"},
        FailureCase{"DroppedMidBody", "/drop/200000", "Transferred a partial file"}),
    [](const testing::TestParamInfo<FailureCase>& instance) { return std::string(instance.param.name); });

TEST_F(FileDownloaderTest, ErrorDocumentIsNotWrittenAsTheArchive)
{
    FileDownloader downloader(m_server->Url("/missing"), SaveFile());
    RunToEnd(downloader);
    EXPECT_TRUE(downloader.IsFailed());
    EXPECT_EQ(ReadFileBytes(SavePath()), "");
}

TEST_F(FileDownloaderTest, StalledTransferFailsAfterStallTimeout)
{
    FileDownloader downloader(m_server->Url("/stall/100000"), SaveFile());
    downloader.SetStallTimeout(std::chrono::seconds(1));
    EXPECT_EQ(WithoutRetries(RunToEnd(downloader)), "Download failed: Timeout was reached\n");
    EXPECT_TRUE(downloader.IsFailed());
}

TEST_F(FileDownloaderTest, UnreachableServerFails)
{
    FileDownloader downloader("http://127.0.0.1:1/setup/a.zip", SaveFile());
    EXPECT_EQ(WithoutRetries(RunToEnd(downloader)), "Download failed: Couldn't connect to server\n");
    EXPECT_TRUE(downloader.IsFailed());
}

TEST_F(FileDownloaderTest, AFullDiskIsTheLocalFilesFailureWithTheSystemsReason)
{
    // A full disk fails every write that reaches it, a large body's and a small one's.
    for (const char* path : {"/file/3000000", "/file/10"}) {
        std::optional<platform::WritableFile> file = FileOnFullDisk();
        if (!file)
            GTEST_SKIP() << m_fullSkip;
        FileDownloader downloader(m_server->Url(path), std::move(*file));
        const std::string line = RunToEnd(downloader);
        EXPECT_TRUE(line.starts_with("Download failed: ") && line.ends_with(": No space left on device\n")) << line;
        EXPECT_EQ(downloader.Failure(), DownloadFailure::LocalFile) << path;
    }
}

// A small body written in one go fails as a whole on a full disk.
TEST_F(FileDownloaderTest, FailedCloseIsAFailure)
{
    std::optional<platform::WritableFile> file = FileOnFullDisk();
    if (!file)
        GTEST_SKIP() << m_fullSkip;
    FileDownloader downloader(m_server->Url("/file/10"), std::move(*file));
    RunToEnd(downloader);
    EXPECT_TRUE(downloader.IsFailed());
    EXPECT_FALSE(downloader.IsFinished());
}

TEST_F(FileDownloaderTest, CallbackThatReturnsNonZeroAbortsTransfer)
{
    FileDownloader downloader(m_server->Url("/file/3000000"), SaveFile());
    downloader.SetProgressCallback([](double, double received) { return received > 0 ? 1 : 0; });
    EXPECT_EQ(RunToEnd(downloader), "Download failed: Operation was aborted by an application callback\n");
    EXPECT_TRUE(downloader.IsFailed());
}

// ---- Owner's control ------------------------------------------------------------------------

TEST_F(FileDownloaderTest, CancelStopsAStalledTransfer)
{
    FileDownloader downloader(m_server->Url("/stall/100000"), SaveFile());
    std::atomic<bool> receiving{false};
    downloader.SetProgressCallback([&receiving](double, double received) {
        receiving = received > 0;
        return 0;
    });
    testing::internal::CaptureStdout();
    ASSERT_TRUE(downloader.Start());
    while (!receiving) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    downloader.Cancel();
    EXPECT_TRUE(WaitUntilEnded(downloader));
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(downloader.IsFailed());
    EXPECT_TRUE(ReadFileBytes(SavePath()) == PatternBytes(16));
}

TEST_F(FileDownloaderTest, CancelStopsATransferStillConnecting)
{
    const TestHttpServer full(TestHttpServer::Mode::NoAccept);
    FileDownloader downloader("http://" + full.Address() + "/file/10", SaveFile());
    std::atomic<int> reports{0};
    downloader.SetProgressCallback([&reports](double, double) { return ++reports, 0; });
    testing::internal::CaptureStdout();
    ASSERT_TRUE(downloader.Start());
    while (reports == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    downloader.Cancel();
    EXPECT_TRUE(WaitUntilEnded(downloader));
    EXPECT_EQ(
        testing::internal::GetCapturedStdout(), "Download failed: Operation was aborted by an application callback\n");
    EXPECT_TRUE(downloader.IsFailed());
}

TEST_F(FileDownloaderTest, DestroyingARunningDownloaderStopsItsThread)
{
    auto calls = std::make_shared<std::atomic<int>>(0);
    {
        FileDownloader downloader(m_server->Url("/stall/100000"), SaveFile());
        downloader.SetProgressCallback([calls](double, double) {
            ++*calls;
            return 0;
        });
        testing::internal::CaptureStdout();
        ASSERT_TRUE(downloader.Start());
        while (*calls == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    testing::internal::GetCapturedStdout();
    const int callsAtDestruction = *calls;
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(*calls, callsAtDestruction) << "the callback ran after the downloader was gone";
}

TEST_F(FileDownloaderTest, StartsOnlyOnce)
{
    FileDownloader downloader(m_server->Url("/file/10"), SaveFile());
    RunToEnd(downloader);
    EXPECT_FALSE(downloader.Start());
    EXPECT_TRUE(ReadFileBytes(SavePath()) == PatternBytes(10));
}

// ---- TLS ------------------------------------------------------------------------------------

TEST_F(FileDownloaderTest, HttpsVerifiesPeerAndHostName)
{
    const TestHttpServer good(TestHttpServer::Mode::Serve, TestHttpServer::Tls{m_dir.Path() / "good", ""});
    const TestHttpServer misnamed(
        TestHttpServer::Mode::Serve, TestHttpServer::Tls{m_dir.Path() / "misnamed", "wrong.example"});
    {
        const ScopedEnv trust("INSTALLER_CA_BUNDLE", good.CaFile());
        FileDownloader downloader(good.Url("/file/300000"), SaveFile());
        EXPECT_EQ(RunToEnd(downloader), "");
        EXPECT_TRUE(downloader.IsFinished());
        EXPECT_TRUE(ReadFileBytes(SavePath()) == PatternBytes(300000));
    }
    {
        const ScopedEnv noTrust("INSTALLER_CA_BUNDLE", std::nullopt);
        FileDownloader downloader(good.Url("/file/300000"), SaveFile("untrusted.zip"));
        EXPECT_EQ(RunToEnd(downloader).rfind("Download failed: ", 0), 0u);
        EXPECT_TRUE(downloader.IsFailed());
    }
    {
        const ScopedEnv trust("INSTALLER_CA_BUNDLE", misnamed.CaFile());
        FileDownloader downloader(misnamed.Url("/file/300000"), SaveFile("misnamed.zip"));
        EXPECT_EQ(RunToEnd(downloader).rfind("Download failed: ", 0), 0u);
        EXPECT_TRUE(downloader.IsFailed());
        EXPECT_EQ(ReadFileBytes(m_dir.Path() / "misnamed.zip"), "");
    }
}

// ---- Going on with a part --------------------------------------------------------------------

// 1 MB of a 3 MB file already in the part: the same version is asked for the rest only and the
// progress counts on from 1 MB; another version's bytes are replaced by the whole file.
TEST_F(FileDownloaderTest, APartOfTheSameVersionGoesOnAndAnotherVersionStartsAgain)
{
    const std::string whole = PatternBytes(3'000'000);
    const auto log = m_dir.Path() / "requests.log";
    const ScriptServer server(FileServer(whole, {"--etag", "\"v1\"", "--request-log", log.string()}));
    for (const bool sameVersion : {true, false}) {
        const std::string part = sameVersion ? whole.substr(0, 1'000'000) : std::string(1'000'000, 'x');
        std::ofstream(SavePath(), std::ios::binary) << part;
        FileDownloader downloader("http://127.0.0.1:" + server.ReadyValue() + "/setup/p.zip", AppendFile());
        downloader.SetResume(1'000'000, {sameVersion ? "\"v1\"" : "\"v0\"", 3'000'000});
        std::vector<RemoteVersion> versions;
        downloader.SetVersionCallback([&versions](const RemoteVersion& version) { versions.push_back(version); });
        ProgressLog progress;
        downloader.SetProgressCallback(progress.Callback());
        EXPECT_EQ(RunToEnd(downloader), "");
        EXPECT_TRUE(downloader.IsFinished());
        EXPECT_TRUE(ReadFileBytes(SavePath()) == whole) << sameVersion;
        EXPECT_EQ(versions, (std::vector<RemoteVersion>{{"\"v1\"", 3'000'000}}));
        // The whole length throughout; going on, the bar never starts below the part.
        const std::vector<ProgressReport> reports = progress.Reports();
        ASSERT_FALSE(reports.empty());
        for (const ProgressReport& report : reports) {
            EXPECT_TRUE(report.total == 0 || report.total == 3'000'000.0) << report.total;
            EXPECT_TRUE(!sameVersion || report.received >= 1'000'000.0) << report.received;
        }
        EXPECT_EQ(reports.back().received, 3'000'000.0);
    }
    EXPECT_EQ(ReadFileBytes(log), "GET /setup/p.zip bytes=1000000-\nGET /setup/p.zip bytes=1000000-\n");
}

// A cut download's wait is told at its start and again each second, the seconds going down.
TEST_F(FileDownloaderTest, TheWaitBeforeTryingAgainCountsDown)
{
    const ScriptServer server(FileServer(PatternBytes(1'000'000), {"--etag", "\"v1\"", "--drop-after", "300000"}));
    FileDownloader downloader("http://127.0.0.1:" + server.ReadyValue() + "/setup/p.zip", SaveFile());
    downloader.SetFirstRetryDelay(std::chrono::milliseconds(2500));
    std::mutex mutex;
    std::vector<std::pair<int, long long>> told; // the try to come, the whole seconds left
    downloader.SetRetryCallback([&](int attempt, std::chrono::milliseconds wait) {
        const std::lock_guard lock(mutex);
        told.emplace_back(attempt, std::chrono::ceil<std::chrono::seconds>(wait).count());
    });
    RunToEnd(downloader);
    EXPECT_TRUE(downloader.IsFinished());
    EXPECT_EQ(told, (std::vector<std::pair<int, long long>>{{1, 3}, {1, 2}, {1, 1}}));
}

} // namespace

namespace {

// Ranges by HTTP's rules, against a server that bends them.
TEST_F(FileDownloaderTest, RangesFollowHttpsRules)
{
    const std::string whole = PatternBytes(3'000'000);
    const std::vector<std::string> serverArgs = FileServer(whole);
    const struct {
        std::vector<std::string> options;
        std::uint64_t have; // bytes of "v1" already in the file
        bool finishes;
        std::string requests;
    } rows[] = {
        // A weak ETag is never sent in If-Range: the cut download starts again from byte 0.
        {{"--etag", "W/\"v1\"", "--drop-after", "500000"}, 0, true, "GET /setup/p.zip\nGET /setup/p.zip\n"},
        // A part where the whole file was asked for is no answer (taken once more, then failed).
        {{"--etag", "\"v1\"", "--lying-part", "1000000"}, 0, false, "GET /setup/p.zip\nGET /setup/p.zip\n"},
        // A chunked part: its progress counts from its Content-Range's total.
        {{"--etag", "\"v1\"", "--chunked-parts"}, 1'000'000, true, "GET /setup/p.zip bytes=1000000-\n"},
    };
    for (const auto& row : rows) {
        const auto log = m_dir.Path() / "requests.log";
        std::filesystem::remove(log);
        std::vector<std::string> argv = serverArgs;
        argv.insert(argv.end(), {"--request-log", log.string()});
        argv.insert(argv.end(), row.options.begin(), row.options.end());
        const ScriptServer server(argv);
        std::ofstream(SavePath(), std::ios::binary | std::ios::trunc) << whole.substr(0, row.have);
        FileDownloader downloader("http://127.0.0.1:" + server.ReadyValue() + "/setup/p.zip", AppendFile());
        downloader.SetResume(row.have, {"\"v1\"", 3'000'000});
        ProgressLog progress;
        downloader.SetProgressCallback(progress.Callback());
        RunToEnd(downloader);
        EXPECT_EQ(downloader.IsFinished(), row.finishes) << row.options.back();
        EXPECT_EQ(ReadFileBytes(log), row.requests) << row.options.back();
        if (row.finishes) {
            EXPECT_TRUE(ReadFileBytes(SavePath()) == whole) << row.options.back();
            EXPECT_EQ(progress.Reports().back().total, 3'000'000.0) << row.options.back();
        }
    }
}

// A cache that holds the start of an older version cuts every answer at the same byte: the
// server's file changed, which no try again mends.
TEST_F(FileDownloaderTest, CutAgainAndAgainAtOneByteOfOneVersionIsAChangedFile)
{
    const ScriptServer server(FileServer(PatternBytes(3'000'000), {"--etag", "\"v1\"", "--cut-at", "1048576"}));
    FileDownloader downloader("http://127.0.0.1:" + server.ReadyValue() + "/setup/p.zip", SaveFile());
    const std::string printed = RunToEnd(downloader);
    EXPECT_EQ(downloader.Failure(), DownloadFailure::Changed);
    EXPECT_NE(printed.find("Download cut 3 times at byte 1048576 of the same version"), std::string::npos) << printed;
}

} // namespace
