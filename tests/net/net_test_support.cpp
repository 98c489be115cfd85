#include "net_test_support.h"

#include "net/file_downloader.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

TestHttpServer::TestHttpServer(Mode mode, std::optional<Tls> tls)
    : m_tls(std::move(tls)), m_script(Arguments(mode, m_tls))
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

std::string TestHttpServer::Address() const { return "127.0.0.1:" + m_script.ReadyValue(); }

std::string TestHttpServer::Url(const std::string& path) const
{
    return (m_tls ? "https://" : "http://") + Address() + path;
}

std::string TestHttpServer::CaFile() const { return m_tls ? (m_tls->directory / "ca.pem").string() : std::string(); }

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

ScopedEnv::ScopedEnv(std::string name, const std::optional<std::string>& value) : m_name(std::move(name))
{
    if (const char* old = std::getenv(m_name.c_str())) {
        m_previous = old;
    }
    if (value) {
        ::setenv(m_name.c_str(), value->c_str(), 1);
    } else {
        ::unsetenv(m_name.c_str());
    }
}

ScopedEnv::~ScopedEnv()
{
    if (m_previous) {
        ::setenv(m_name.c_str(), m_previous->c_str(), 1);
    } else {
        ::unsetenv(m_name.c_str());
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
