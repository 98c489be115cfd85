#include "net/http_request.h"
#include "net/package_address.h"
#include "net_test_support.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <ostream>
#include <string>

namespace {

// Nothing listens on port 1 of the loopback address.
constexpr const char* kRefusedAddress = "127.0.0.1:1";

class HttpRequestTest : public testing::Test {
protected:
    static void SetUpTestSuite() { m_server = std::make_unique<TestHttpServer>(); }
    static void TearDownTestSuite() { m_server.reset(); }

    static std::unique_ptr<TestHttpServer> m_server;
};
std::unique_ptr<TestHttpServer> HttpRequestTest::m_server;

// ---- GetRemoteFileSize ----------------------------------------------------------------------

struct SizeCase {
    std::string path;
    int expected;
};

void PrintTo(const SizeCase& c, std::ostream* out) { *out << c.path; }

class RemoteFileSizeTest : public HttpRequestTest, public testing::WithParamInterface<SizeCase> {};

TEST_P(RemoteFileSizeTest, ReportsContentLength)
{
    EXPECT_EQ(GetRemoteFileSize(m_server->Url(GetParam().path)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Lengths, RemoteFileSizeTest,
    testing::Values(SizeCase{"/file/0", 0}, SizeCase{"/file/1048575", 1048575}, SizeCase{"/file/1048576", 1048576},
        SizeCase{"/file/2147483647", std::numeric_limits<int>::max()},
        // Lengths beyond the int range: the smallest int, which the start flow reads as a large
        // unsigned length.
        SizeCase{"/file/2147483648", std::numeric_limits<int>::min()},
        SizeCase{"/file/5368709120", std::numeric_limits<int>::min()},
        // No Content-Length.
        SizeCase{"/chunked/4096", -1},
        // The status is not looked at: a missing object reports its short error document.
        SizeCase{"/missing", 10},
        // Redirects are not followed.
        SizeCase{"/redirect", 6}));

TEST_F(HttpRequestTest, SizeProbeOfUnreachableServerFailsWithOneLine)
{
    testing::internal::CaptureStderr();
    const int size = GetRemoteFileSize(std::string("http://") + kRefusedAddress + "/setup/a.zip");
    const std::string diagnostics = testing::internal::GetCapturedStderr();
    EXPECT_EQ(size, -1);
    EXPECT_EQ(diagnostics, "curl_easy_perform failed: Couldn't connect to server\n");
}

TEST_F(HttpRequestTest, SizeProbeOfFileUrlReportsFileSize)
{
    const TempDir dir;
    const auto path = dir.Path() / "package.zip";
    {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite(PatternBytes(1048577).data(), 1, 1048577, file);
        std::fclose(file);
    }
    EXPECT_EQ(GetRemoteFileSize("file://" + path.string()), 1048577);
}

// ---- ProbeServer ----------------------------------------------------------------------------

class ProbeTest : public HttpRequestTest {
protected:
    void SetUp() override { m_savedAddress = probeAddress; }
    void TearDown() override { probeAddress = m_savedAddress; }

private:
    std::string m_savedAddress;
};

TEST_F(ProbeTest, AnyTimelyAnswerCountsAsReachable)
{
    for (const char* path : {"", "/", "/status/404", "/status/503"}) {
        probeAddress = m_server->Address() + path;
        EXPECT_EQ(ProbeServer(std::nullopt), CURLE_OK) << probeAddress;
    }
}

TEST_F(ProbeTest, ServerThatNeverAnswersTimesOut)
{
    const TestHttpServer silent(TestHttpServer::Mode::Silent);
    probeAddress = silent.Address();
    EXPECT_EQ(ProbeServer(std::nullopt), CURLE_OPERATION_TIMEDOUT);
}

TEST_F(ProbeTest, ServerThatNeverAcceptsTimesOut)
{
    const TestHttpServer full(TestHttpServer::Mode::NoAccept);
    probeAddress = full.Address();
    EXPECT_EQ(ProbeServer(std::nullopt), CURLE_OPERATION_TIMEDOUT);
}

TEST_F(ProbeTest, StalledBodyTimesOut)
{
    probeAddress = m_server->Address() + "/stall/100000";
    EXPECT_EQ(ProbeServer(std::nullopt), CURLE_OPERATION_TIMEDOUT);
}

TEST_F(ProbeTest, RefusedConnectionReportsItsCode)
{
    probeAddress = kRefusedAddress;
    EXPECT_EQ(ProbeServer(std::nullopt), CURLE_COULDNT_CONNECT);
}

// ---- TLS ------------------------------------------------------------------------------------

class TlsTest : public testing::Test {
protected:
    TempDir m_dir;
};

TEST_F(TlsTest, SizeProbeTrustsOnlyTheConfiguredCaAndHostName)
{
    const TestHttpServer server(TestHttpServer::Mode::Serve, TestHttpServer::Tls{m_dir.Path() / "good", ""});
    const TestHttpServer misnamed(
        TestHttpServer::Mode::Serve, TestHttpServer::Tls{m_dir.Path() / "misnamed", "wrong.example"});
    const std::string url = server.Url("/file/1048576");
    {
        const ScopedEnv trust("INSTALLER_CA_BUNDLE", server.CaFile());
        EXPECT_EQ(GetRemoteFileSize(url), 1048576);
    }
    {
        const ScopedEnv noTrust("INSTALLER_CA_BUNDLE", std::nullopt);
        testing::internal::CaptureStderr();
        EXPECT_EQ(GetRemoteFileSize(url), -1);
        const std::string diagnostics = testing::internal::GetCapturedStderr();
        EXPECT_EQ(diagnostics.rfind("curl_easy_perform failed: ", 0), 0u) << diagnostics;
    }
    {
        // Signed by a trusted CA, but for another host name.
        const ScopedEnv trust("INSTALLER_CA_BUNDLE", misnamed.CaFile());
        testing::internal::CaptureStderr();
        EXPECT_EQ(GetRemoteFileSize(misnamed.Url("/file/1048576")), -1);
        testing::internal::GetCapturedStderr();
    }
}

} // namespace
