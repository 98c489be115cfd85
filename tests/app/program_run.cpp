#include "program_run.h"

#include "file_bytes.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

std::filesystem::path CaptureFile(const char* stream)
{
    std::string pattern =
        (std::filesystem::temp_directory_path() / (std::string("installer-") + stream + "-XXXXXX")).string();
    const int fd = ::mkstemp(pattern.data());
    ::close(fd);
    return pattern;
}

const std::string& PrivateRuntimeFolder()
{
    static const std::string folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "installer-runtime-XXXXXX").string();
        return std::string(::mkdtemp(pattern.data()));
    }();
    return folder;
}

} // namespace

ProgramRun::ProgramRun(const std::filesystem::path& executable, const std::vector<std::string>& arguments,
    const std::vector<std::string>& environment)
    : m_outFile(CaptureFile("out")), m_errFile(CaptureFile("err"))
{
    std::vector<std::string> env{
        "PATH=/usr/local/bin:/usr/bin:/bin", "HOME=/root", "QT_QPA_PLATFORM=offscreen", "LANG=C.UTF-8"};
    // Qt wants a private runtime folder; without one it complains on standard error.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    env.push_back(std::string("XDG_RUNTIME_DIR=") + (runtime != nullptr ? runtime : PrivateRuntimeFolder().c_str()));
    // A sanitizer build's program reports where the suite's own reports go (scripts/sanitize.sh).
    for (const char* variable : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS"}) {
        if (const char* value = std::getenv(variable))
            env.push_back(std::string(variable) + "=" + value);
    }
    // A variable the caller names replaces the one set here.
    for (const std::string& line : environment)
        std::erase_if(env,
            [&](const std::string& e) { return e.substr(0, e.find('=') + 1) == line.substr(0, line.find('=') + 1); });
    env.insert(env.end(), environment.begin(), environment.end());

    std::vector<std::string> argv{executable.string()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> argvPointers, envPointers;
    for (auto& a : argv)
        argvPointers.push_back(a.data());
    argvPointers.push_back(nullptr);
    for (auto& e : env)
        envPointers.push_back(e.data());
    envPointers.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, m_outFile.c_str(), O_WRONLY | O_TRUNC, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, m_errFile.c_str(), O_WRONLY | O_TRUNC, 0);
    const int error = posix_spawn(&m_pid, argv[0].c_str(), &actions, nullptr, argvPointers.data(), envPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        throw std::runtime_error("cannot start " + argv[0]);
}

std::string ProgramRun::OutputSoFar() const { return ReadFileBytes(m_outFile); }

void ProgramRun::Signal(int signalNumber) const
{
    if (m_pid > 0)
        ::kill(m_pid, signalNumber);
}

ProgramRun::~ProgramRun()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    std::error_code ec;
    std::filesystem::remove(m_outFile, ec);
    std::filesystem::remove(m_errFile, ec);
}

ProgramResult ProgramRun::Wait(std::chrono::seconds limit)
{
    ProgramResult result;
    int status = 0;
    const bool ended = WaitUntil([&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; }, limit);
    if (!ended) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, &status, 0);
    } else if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    }
    m_pid = -1;
    result.out = ReadFileBytes(m_outFile);
    result.err = ReadFileBytes(m_errFile);
    return result;
}
