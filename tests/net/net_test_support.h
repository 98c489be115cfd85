// Shared pieces of the network client's tests: the loopback server, the body pattern it sends,
// temporary folders and environment variables scoped to a test.
#pragma once

#include "script_server.h"
#include "temp_folder.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

class FileDownloader;

// tests/support/http_test_server.py on 127.0.0.1.
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

// The first `count` bytes the server's /file and /chunked routes send.
std::string PatternBytes(std::size_t count);

std::string ReadWholeFile(const std::filesystem::path& path);

// A fresh folder for one test, removed with everything in it.
using TempDir = TempFolder;

// Sets (or with nullopt removes) one environment variable until the end of the scope.
class ScopedEnv {
public:
    ScopedEnv(std::string name, const std::optional<std::string>& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_previous;
};

// Waits until the downloader is finished or failed; false only when that takes minutes.
bool WaitUntilEnded(const FileDownloader& downloader);
