#include "net_test_support.h"

#include "net/file_downloader.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

TestHttpServer::TestHttpServer(Mode mode, std::optional<Tls> tls)
    : tls_(std::move(tls)), script_(Arguments(mode, tls_))
{
}

std::vector<std::string> TestHttpServer::Arguments(Mode mode, const std::optional<Tls>& tls)
{
    std::vector<std::string> argv{"/usr/bin/python3", SupportScript("http_test_server.py"), "--mode"};
    argv.push_back(mode == Mode::Serve ? "serve" : mode == Mode::Silent ? "silent" : "no-accept");
    if (tls) {
        argv.push_back("--tls-dir");
        argv.push_back(tls->directory.string());
        if (!tls->host.empty()) {
            argv.push_back("--tls-host");
            argv.push_back(tls->host);
        }
    }
    return argv;
}

std::string TestHttpServer::Address() const
{
    return "127.0.0.1:" + script_.ReadyValue();
}

std::string TestHttpServer::Url(const std::string& path) const
{
    return (tls_ ? "https://" : "http://") + Address() + path;
}

std::string TestHttpServer::CaFile() const
{
    return tls_ ? (tls_->directory / "ca.pem").string() : std::string();
}

std::string PatternBytes(std::size_t count)
{
    std::string bytes(count, '\0');
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<char>(((i % 251) * 31 + 7) % 256);
    }
    return bytes;
}

std::string ReadWholeFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ScopedEnv::ScopedEnv(std::string name, const std::optional<std::string>& value) : name_(std::move(name))
{
    if (const char* old = std::getenv(name_.c_str())) {
        previous_ = old;
    }
    if (value) {
        ::setenv(name_.c_str(), value->c_str(), 1);
    } else {
        ::unsetenv(name_.c_str());
    }
}

ScopedEnv::~ScopedEnv()
{
    if (previous_) {
        ::setenv(name_.c_str(), previous_->c_str(), 1);
    } else {
        ::unsetenv(name_.c_str());
    }
}

bool WaitUntilEnded(const FileDownloader& downloader)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!downloader.IsFinished() && !downloader.IsFailed()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}
