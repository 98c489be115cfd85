// The size probe's answer: whatever a server (or whatever sits between it and us) sends back
// to the HEAD request, GetRemoteFileSize gives -1 (no usable length), the smallest int (a
// length above the int range) or a length the answer's headers carry. A loopback server in
// this process answers each request with the input's bytes and closes the connection.
#include "fuzz_support.h"

#include "net/http_request.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <thread>

namespace {

class LoopbackListener {
public:
    LoopbackListener()
    {
        for (const char* variable :
            {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
            ::unsetenv(variable);
        m_socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        FUZZ_CHECK(m_socket >= 0 && ::bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                ::listen(m_socket, 4) == 0 &&
                ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) == 0,
            "a loopback listener");
        m_url = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/setup/package.zip";
    }
    ~LoopbackListener() { ::close(m_socket); }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    const std::string& Url() const { return m_url; }

    // Takes one connection, reads the request's head and sends `answer`.
    void AnswerOnce(std::string_view answer) const
    {
        const int connection = ::accept4(m_socket, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            return;
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
            if (got <= 0)
                break;
            request.append(buffer, static_cast<std::size_t>(got));
        }
        for (std::size_t sent = 0; sent < answer.size();) {
            const ssize_t put = ::send(connection, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
            if (put <= 0)
                break;
            sent += static_cast<std::size_t>(put);
        }
        ::shutdown(connection, SHUT_WR);
        ::close(connection);
    }

private:
    int m_socket = -1;
    std::string m_url;
};

bool MentionsContentLength(std::string_view answer)
{
    std::string lowered(answer);
    std::transform(lowered.begin(), lowered.end(), lowered.begin(),
        [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lowered.find("content-length") != std::string::npos;
}

// An answer (after any 1xx ones) with the status 204 or 304, roughly: libcurl takes blanks and
// tabs before the status.
bool NoBodyStatus(std::string_view answer)
{
    return answer.find("204") != std::string_view::npos || answer.find("304") != std::string_view::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const LoopbackListener listener;
    const std::string_view answer = fuzz::Text(data, size);
    std::thread server([&] { listener.AnswerOnce(answer); });
    const int length = GetRemoteFileSize(listener.Url());
    server.join();
    FUZZ_CHECK(length >= -1 || length == INT_MIN, std::to_string(length));
    // libcurl knows that 204 and 304 answers have no body: their length is 0.
    if (length > 0 || (length == 0 && !NoBodyStatus(answer)))
        FUZZ_CHECK(MentionsContentLength(answer), "a length from an answer without one: " + std::to_string(length));
    return 0;
}
