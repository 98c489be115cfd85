#include "test_http_server.h"

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
