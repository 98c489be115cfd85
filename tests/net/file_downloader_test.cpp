#include "net/file_downloader.h"
#include "net_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
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
            const std::lock_guard lock(mutex_);
            reports_.push_back({total, received});
            return 0;
        };
    }
    std::vector<ProgressReport> Reports() const
    {
        const std::lock_guard lock(mutex_);
        return reports_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<ProgressReport> reports_;
};

class FileDownloaderTest : public testing::Test {
protected:
    static void SetUpTestSuite() { server_ = std::make_unique<TestHttpServer>(); }
    static void TearDownTestSuite() { server_.reset(); }

    std::string SavePath() const { return (dir_.Path() / "package.zip").string(); }

    // Downloads url into SavePath() and returns what the download thread printed.
    std::string RunToEnd(FileDownloader& downloader)
    {
        testing::internal::CaptureStdout();
        EXPECT_TRUE(downloader.Start());
        EXPECT_TRUE(WaitUntilEnded(downloader));
        return testing::internal::GetCapturedStdout();
    }

    static std::unique_ptr<TestHttpServer> server_;
    TempDir dir_;
};
std::unique_ptr<TestHttpServer> FileDownloaderTest::server_;

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
    FileDownloader downloader(server_->Url("/" + c.route + "/" + std::to_string(c.length)), SavePath());
    downloader.SetProgressCallback(progress.Callback());

    EXPECT_EQ(RunToEnd(downloader), "");
    EXPECT_TRUE(downloader.IsFinished());
    EXPECT_FALSE(downloader.IsFailed());
    EXPECT_TRUE(ReadWholeFile(SavePath()) == PatternBytes(c.length)) << "file content differs";

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
    FileDownloader downloader(server_->Url("/file/70000"), letterPath);
    RunToEnd(downloader);
    EXPECT_TRUE(downloader.IsFinished());
    EXPECT_TRUE(ReadWholeFile(SavePath()) == PatternBytes(70000));
}

TEST_F(FileDownloaderTest, AppendsToAnExistingFile)
{
    {
        std::FILE* old = std::fopen(SavePath().c_str(), "wb");
        ASSERT_NE(old, nullptr);
        std::fputs("old bytes", old);
        std::fclose(old);
    }
    FileDownloader downloader(server_->Url("/file/1000"), SavePath());
    RunToEnd(downloader);
    EXPECT_TRUE(downloader.IsFinished());
    EXPECT_TRUE(ReadWholeFile(SavePath()) == "old bytes" + PatternBytes(1000));
}

TEST_F(FileDownloaderTest, FileUrlIsCopied)
{
    const auto source = dir_.Path() / "source.zip";
    {
        std::FILE* file = std::fopen(source.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite(PatternBytes(200000).data(), 1, 200000, file);
        std::fclose(file);
    }
    FileDownloader downloader("file://" + source.string(), SavePath());
    RunToEnd(downloader);
    EXPECT_TRUE(downloader.IsFinished());
    EXPECT_TRUE(ReadWholeFile(SavePath()) == PatternBytes(200000));
}

// ---- Failed transfers -----------------------------------------------------------------------

struct FailureCase {
    const char* name;
    std::string path;
    std::string diagnostic;
};

void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.path; }

class FailureTest : public FileDownloaderTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(FailureTest, EndsAsFailedWithOneLine)
{
    FileDownloader downloader(server_->Url(GetParam().path), SavePath());
    EXPECT_EQ(RunToEnd(downloader), "Download failed: " + GetParam().diagnostic + "\n");
    EXPECT_TRUE(downloader.IsFailed());
    EXPECT_FALSE(downloader.IsFinished());
    EXPECT_EQ(downloader.Failure(), DownloadFailure::Transfer);
}

INSTANTIATE_TEST_SUITE_P(Answers, FailureTest,
    testing::Values(FailureCase{"NotFound", "/missing", "HTTP response code said error"},
        FailureCase{"ServerError", "/status/500", "HTTP response code said error"},
        FailureCase{"Redirect", "/redirect", "HTTP response code said error"},
        FailureCase{"DroppedMidBody", "/drop/200000", "Transferred a partial file"}),
    [](const testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST_F(FileDownloaderTest, ErrorDocumentIsNotWrittenAsTheArchive)
{
    FileDownloader downloader(server_->Url("/missing"), SavePath());
    RunToEnd(downloader);
    EXPECT_TRUE(downloader.IsFailed());
    EXPECT_EQ(ReadWholeFile(SavePath()), "");
}

TEST_F(FileDownloaderTest, StalledTransferFailsAfterStallTimeout)
{
    FileDownloader downloader(server_->Url("/stall/100000"), SavePath());
    downloader.SetStallTimeout(std::chrono::seconds(1));
    EXPECT_EQ(RunToEnd(downloader), "Download failed: Timeout was reached\n");
    EXPECT_TRUE(downloader.IsFailed());
}

TEST_F(FileDownloaderTest, UnreachableServerFails)
{
    FileDownloader downloader("http://127.0.0.1:1/setup/a.zip", SavePath());
    EXPECT_EQ(RunToEnd(downloader), "Download failed: Couldn't connect to server\n");
    EXPECT_TRUE(downloader.IsFailed());
}

TEST_F(FileDownloaderTest, UnwritableSavePathFails)
{
    FileDownloader downloader(server_->Url("/file/10"), (dir_.Path() / "missing" / "a.zip").string());
    EXPECT_EQ(RunToEnd(downloader), "Failed to open file for writing: No such file or directory\n");
    EXPECT_TRUE(downloader.IsFailed());
    EXPECT_FALSE(downloader.IsFinished());
    EXPECT_EQ(downloader.Failure(), DownloadFailure::LocalFile);
}

TEST_F(FileDownloaderTest, AFullDiskIsTheLocalFilesFailureWithTheSystemsReason)
{
    // /dev/full fails every write that reaches it: a large body in a write, a small one only
    // when the close flushes it.
    for (const char* path : {"/file/3000000", "/file/10"}) {
        FileDownloader downloader(server_->Url(path), "/dev/full");
        const std::string line = RunToEnd(downloader);
        EXPECT_TRUE(line.starts_with("Download failed: ") && line.ends_with(": No space left on device\n")) << line;
        EXPECT_EQ(downloader.Failure(), DownloadFailure::LocalFile) << path;
    }
}

TEST_F(FileDownloaderTest, CallbackThatReturnsNonZeroAbortsTransfer)
{
    FileDownloader downloader(server_->Url("/file/3000000"), SavePath());
    downloader.SetProgressCallback([](double, double received) { return received > 0 ? 1 : 0; });
    EXPECT_EQ(RunToEnd(downloader), "Download failed: Operation was aborted by an application callback\n");
    EXPECT_TRUE(downloader.IsFailed());
}

// ---- Owner's control ------------------------------------------------------------------------

TEST_F(FileDownloaderTest, CancelStopsAStalledTransfer)
{
    FileDownloader downloader(server_->Url("/stall/100000"), SavePath());
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
    EXPECT_TRUE(ReadWholeFile(SavePath()) == PatternBytes(16));
}

TEST_F(FileDownloaderTest, CancelStopsATransferStillConnecting)
{
    const TestHttpServer full(TestHttpServer::Mode::NoAccept);
    FileDownloader downloader("http://" + full.Address() + "/file/10", SavePath());
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
        FileDownloader downloader(server_->Url("/stall/100000"), SavePath());
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
    FileDownloader downloader(server_->Url("/file/10"), SavePath());
    RunToEnd(downloader);
    EXPECT_FALSE(downloader.Start());
    EXPECT_TRUE(ReadWholeFile(SavePath()) == PatternBytes(10));
}

// ---- TLS ------------------------------------------------------------------------------------

TEST_F(FileDownloaderTest, HttpsVerifiesPeerAndHostName)
{
    const TestHttpServer good(TestHttpServer::Mode::Serve, TestHttpServer::Tls{dir_.Path() / "good", ""});
    const TestHttpServer misnamed(
        TestHttpServer::Mode::Serve, TestHttpServer::Tls{dir_.Path() / "misnamed", "wrong.example"});
    {
        const ScopedEnv trust("INSTALLER_CA_BUNDLE", good.CaFile());
        FileDownloader downloader(good.Url("/file/300000"), SavePath());
        EXPECT_EQ(RunToEnd(downloader), "");
        EXPECT_TRUE(downloader.IsFinished());
        EXPECT_TRUE(ReadWholeFile(SavePath()) == PatternBytes(300000));
    }
    {
        const ScopedEnv noTrust("INSTALLER_CA_BUNDLE", std::nullopt);
        FileDownloader downloader(good.Url("/file/300000"), (dir_.Path() / "untrusted.zip").string());
        EXPECT_EQ(RunToEnd(downloader).rfind("Download failed: ", 0), 0u);
        EXPECT_TRUE(downloader.IsFailed());
    }
    {
        const ScopedEnv trust("INSTALLER_CA_BUNDLE", misnamed.CaFile());
        FileDownloader downloader(misnamed.Url("/file/300000"), (dir_.Path() / "misnamed.zip").string());
        EXPECT_EQ(RunToEnd(downloader).rfind("Download failed: ", 0), 0u);
        EXPECT_TRUE(downloader.IsFailed());
        EXPECT_EQ(ReadWholeFile(dir_.Path() / "misnamed.zip"), "");
    }
}

} // namespace
