// tests/support/http_test_server.py on 127.0.0.1, for as long as the object lives.
#pragma once

#include "script_server.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

class TestHttpServer {
public:
    enum class Mode { Serve, Silent, NoAccept };
    struct Tls {
        std::filesystem::path directory; // receives ca.pem and the server's certificate
        std::string host; // the only name in the certificate; empty: 127.0.0.1
    };

    explicit TestHttpServer(Mode mode = Mode::Serve, std::optional<Tls> tls = std::nullopt);

    // "127.0.0.1:PORT"
    std::string Address() const;
    // "http://127.0.0.1:PORT" + path, or https when serving TLS.
    std::string Url(const std::string& path) const;
    // The CA that signed the TLS certificate.
    std::string CaFile() const;

private:
    static std::vector<std::string> Arguments(Mode mode, const std::optional<Tls>& tls);

    std::optional<Tls> m_tls;
    ScriptServer m_script;
};
