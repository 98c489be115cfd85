#include "script_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace {

constexpr int kReadyTimeoutMs = 60'000;

class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() { Reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return m_fd; }
    int Release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void Reset()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
};

// The first line the child writes, without its newline; throws when none comes in time.
std::string ReadFirstLine(int fd)
{
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReadyTimeoutMs);
    while (true) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            throw std::runtime_error("support script did not report ready");
        }
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, static_cast<int>(left.count())) <= 0) {
            continue;
        }
        char byte = 0;
        const ssize_t got = ::read(fd, &byte, 1);
        if (got <= 0) {
            throw std::runtime_error("support script ended before it was ready: " + line);
        }
        if (byte == '\n') {
            return line;
        }
        line.push_back(byte);
    }
}

bool WaitForExit(pid_t pid, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid || done < 0) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

} // namespace

ScriptServer::ScriptServer(const std::vector<std::string>& argv)
{
    int toChild[2];
    int fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    Fd childStdin(toChild[0]);
    Fd ourStdin(toChild[1]);
    if (::pipe2(fromChild, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    Fd ourStdout(fromChild[0]);
    Fd childStdout(fromChild[1]);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, childStdin.Get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, childStdout.Get(), STDOUT_FILENO);
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    const int spawned = ::posix_spawn(&m_pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        throw std::runtime_error("cannot start " + argv[0]);
    }
    childStdin.Reset();
    childStdout.Reset();
    m_stdinWrite = ourStdin.Release();

    try {
        const std::string line = ReadFirstLine(ourStdout.Get());
        const auto space = line.find(' ');
        m_readyValue = space == std::string::npos ? std::string() : line.substr(space + 1);
    } catch (...) {
        Stop();
        throw;
    }
}

ScriptServer::~ScriptServer() { Stop(); }

void ScriptServer::Stop()
{
    if (m_stdinWrite >= 0) {
        ::close(m_stdinWrite);
        m_stdinWrite = -1;
    }
    if (m_pid > 0) {
        if (!WaitForExit(m_pid, std::chrono::seconds(10))) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        m_pid = -1;
    }
}

std::string SupportScript(const std::string& name) { return std::string(INSTALLER_TEST_SUPPORT_DIR) + "/" + name; }
