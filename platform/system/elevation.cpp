#include "platform/elevation.h"

#include "platform/system/file_descriptor.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>

extern char** environ;

namespace platform {
namespace {

constexpr std::string_view kSettingPrefix = "INSTALLER_";
// pkexec sets it, to the caller's uid, in the environment of the program it runs.
constexpr const char* kPkexecCaller = "PKEXEC_UID";
// pkexec's own codes: 127 not authorised or failed, 126 the dialog was dismissed.
constexpr int kPkexecNotAuthorised = 127;
constexpr int kPkexecDismissed = 126;

constexpr const char* kPassedOn[] = {"DISPLAY", "XAUTHORITY", "LANG", "LC_ALL", "LC_CTYPE"};
// The window systems the root process may be told to use; a plugin path or option list in
// QT_QPA_PLATFORM stays behind.
constexpr std::string_view kWindowSystems[] = {"xcb", "wayland", "offscreen"};

void Explain(const char* chinese, const char* english)
{
    std::fprintf(stderr, "%s\n%s\n", chinese, english);
    std::fflush(stderr);
}

std::string ExecutablePath()
{
    std::array<char, 4096> buffer{};
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    return length > 0 ? std::string(buffer.data(), static_cast<std::size_t>(length)) : std::string();
}

const char* LookupProcessEnvironment(const char* name) { return std::getenv(name); }

// A folder of the calling user's own: a real folder (not a link), owned by the caller, that
// neither the group nor others may write.
bool IsCallersOwnFolder(const std::string& folder)
{
    struct stat status {};
    return !folder.empty() && folder.front() == '/' && ::lstat(folder.c_str(), &status) == 0 &&
        S_ISDIR(status.st_mode) && status.st_uid == getuid() && (status.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// WAYLAND_DISPLAY as the full path of its socket when the socket is the caller's, in a folder of
// the caller's own; a bare name lies in XDG_RUNTIME_DIR.
std::optional<std::string> WaylandSocketToPassOn(const EnvironmentLookup& lookup)
{
    const char* display = lookup("WAYLAND_DISPLAY");
    if (display == nullptr || *display == '\0')
        return std::nullopt;
    std::string socket = display;
    if (socket.front() != '/') {
        const char* runtime = lookup("XDG_RUNTIME_DIR");
        if (runtime == nullptr || socket.find('/') != std::string::npos)
            return std::nullopt;
        socket = std::string(runtime) + "/" + socket;
    }
    const std::string folder = socket.substr(0, socket.rfind('/'));
    struct stat status {};
    if (!IsCallersOwnFolder(folder) || ::lstat(socket.c_str(), &status) != 0 || !S_ISSOCK(status.st_mode) ||
        status.st_uid != getuid())
        return std::nullopt;
    return socket;
}

// Writes all of `text`; a reader that went away (pkexec refused before reading) is no error
// and no SIGPIPE.
void WriteAllIgnoringAGoneReader(int fd, const std::string& text)
{
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previous);
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            break;
        done += static_cast<std::size_t>(wrote);
    }
    ::sigaction(SIGPIPE, &previous, nullptr);
}

constexpr std::size_t kLargestAuthority = 64 * 1024;
// An empty authority: no cookie is sent.
constexpr const char* kNoAuthority = "/dev/null";

// The bytes of the caller's own authority file at `path`, or why it is not taken.
std::optional<std::string> ReadCallersAuthority(const char* path, uid_t caller, std::string& why)
{
    const FileDescriptor fd(::open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat status {};
    if (fd.get() < 0 || ::fstat(fd.get(), &status) != 0) {
        why = std::string("cannot be opened without following a link: ") + std::strerror(errno);
        return std::nullopt;
    }
    if (!S_ISREG(status.st_mode))
        why = "not a regular file";
    else if (status.st_uid != caller)
        why = "not owned by the caller (uid " + std::to_string(caller) + ")";
    else if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        why = "writable by others";
    else if (status.st_size > static_cast<off_t>(kLargestAuthority))
        why = "too large";
    if (!why.empty())
        return std::nullopt;
    std::string bytes(static_cast<std::size_t>(status.st_size), '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd.get(), bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    return bytes;
}

} // namespace

std::string UseCallersDisplayAuthority()
{
    const char* callerText = std::getenv(kPkexecCaller);
    if (callerText == nullptr)
        return {};
    const char* path = std::getenv("XAUTHORITY");
    std::string why;
    std::optional<std::string> bytes;
    char* end = nullptr;
    const unsigned long caller = std::strtoul(callerText, &end, 10);
    if (path == nullptr || *path == '\0')
        why = path == nullptr ? "" : "empty";
    else if (end == callerText || *end != '\0')
        why = "PKEXEC_UID is not a number";
    else
        bytes = ReadCallersAuthority(path, static_cast<uid_t>(caller), why);
    if (bytes) {
        // Memory of this process's own, read again by its path under /proc while it lives.
        const int memory = ::memfd_create("xauthority", MFD_CLOEXEC);
        if (memory >= 0) {
            static FileDescriptor kept(memory);
            WriteAllIgnoringAGoneReader(memory, *bytes);
            ::setenv("XAUTHORITY", ("/proc/self/fd/" + std::to_string(memory)).c_str(), 1);
            return {};
        }
        why = "cannot be copied";
    }
    ::setenv("XAUTHORITY", kNoAuthority, 1);
    return why;
}

void UseOwnFileModeMask()
{
    if (geteuid() == 0)
        ::umask(022);
}

bool StartedThroughPkexec() { return std::getenv(kPkexecCaller) != nullptr; }

std::vector<std::string> DropSettingsFromUser()
{
    static std::once_flag dropped;
    std::vector<std::string> names;
    std::call_once(dropped, [&names] {
        if (!StartedThroughPkexec())
            return;
        for (char** entry = environ; entry && *entry; ++entry) {
            const std::string_view text(*entry);
            if (text.starts_with(kSettingPrefix))
                names.emplace_back(text.substr(0, text.find('=')));
        }
        for (const std::string& name : names) {
            unsetenv(name.c_str());
            std::fprintf(stderr,
                "installer: ignoring %s: started through pkexec, the caller's environment is not trusted\n",
                name.c_str());
        }
        std::fflush(stderr);
    });
    return names;
}

const char* SettingFromEnvironment(const char* name)
{
    DropSettingsFromUser();
    return std::getenv(name);
}

std::vector<std::string> EnvironmentToPassOn(const EnvironmentLookup& lookup)
{
    std::vector<std::string> passed;
    for (const char* name : kPassedOn)
        if (const char* value = lookup(name); value && *value)
            passed.push_back(std::string(name) + "=" + value);
    if (const char* platform = lookup("QT_QPA_PLATFORM"); platform &&
        std::find(std::begin(kWindowSystems), std::end(kWindowSystems), platform) != std::end(kWindowSystems))
        passed.push_back(std::string("QT_QPA_PLATFORM=") + platform);
    if (const std::optional<std::string> socket = WaylandSocketToPassOn(lookup))
        passed.push_back("WAYLAND_DISPLAY=" + *socket);
    // Without XAUTHORITY an X client falls back to ~/.Xauthority, which as root is root's.
    if (!lookup("XAUTHORITY") && lookup("DISPLAY") && lookup("HOME")) {
        const std::string cookie = std::string(lookup("HOME")) + "/.Xauthority";
        if (access(cookie.c_str(), R_OK) == 0)
            passed.push_back("XAUTHORITY=" + cookie);
    }
    return passed;
}

ElevationRoute RouteFor(const std::string& executable, const InstalledPlace& installed)
{
    const bool installedHere = !installed.program.empty() && executable == installed.program &&
        access(installed.actionFile.c_str(), R_OK) == 0;
    return installedHere ? ElevationRoute::InstalledAction : ElevationRoute::Env;
}

std::vector<std::string> ElevatedCommandLine(ElevationRoute route, const std::string& executable,
    const std::vector<std::string>& arguments, const std::vector<std::string>& environment)
{
    std::vector<std::string> line{"pkexec"};
    if (route == ElevationRoute::Env) {
        line.push_back("env");
        line.insert(line.end(), environment.begin(), environment.end());
    }
    line.push_back(executable);
    line.insert(line.end(), arguments.begin(), arguments.end());
    return line;
}

int RunElevated(const std::vector<std::string>& commandLine, const std::string& standardInput)
{
    std::vector<char*> argv;
    for (const std::string& word : commandLine)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    // The hand-over goes through a pipe that only the child's standard input reads.
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        Explain("无法启动 pkexec 以获取管理员权限。", "Could not start pkexec to obtain administrator rights.");
        return kElevationUnavailableExitCode;
    }
    FileDescriptor reading(ends[0]);
    FileDescriptor writing(ends[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, reading.get(), STDIN_FILENO);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    reading = FileDescriptor();
    if (spawned == 0)
        WriteAllIgnoringAGoneReader(writing.get(), standardInput);
    writing = FileDescriptor();
    if (spawned != 0) {
        if (spawned == ENOENT)
            Explain("本程序需要管理员权限，但系统中没有 pkexec。请以 root 身份运行本程序（例如 sudo）。",
                "This program needs administrator rights, but pkexec is not installed. Run it as root (for example "
                "with sudo).");
        else
            Explain("无法启动 pkexec 以获取管理员权限。", "Could not start pkexec to obtain administrator rights.");
        return kElevationUnavailableExitCode;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            Explain("等待提权进程时出错。", "Lost track of the elevated process.");
            return kElevationUnavailableExitCode;
        }
    }
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    if (code == kPkexecNotAuthorised || code == kPkexecDismissed) {
        Explain("未获得管理员权限，程序无法继续运行。",
            "Administrator rights were not granted; the program cannot continue.");
        return kElevationUnavailableExitCode;
    }
    return code;
}

std::optional<int> EnsureElevated(const InstalledPlace& installed, const std::function<ElevatedRun()>& run)
{
    if (geteuid() == 0)
        return std::nullopt;
    if (StartedThroughPkexec()) {
        // Started through pkexec already and still not root: do not ask again.
        Explain("提权后仍未以管理员身份运行，程序无法继续。",
            "Still not running as administrator after elevation; the program cannot continue.");
        return kElevationUnavailableExitCode;
    }
    const std::string executable = ExecutablePath();
    if (executable.empty()) {
        Explain("找不到本程序的可执行文件，无法提权。", "Cannot find this program's executable to run it elevated.");
        return kElevationUnavailableExitCode;
    }
    const ElevatedRun elevated = run ? run() : ElevatedRun{};
    const ElevationRoute route = RouteFor(executable, installed);
    const std::vector<std::string> environment =
        route == ElevationRoute::Env ? EnvironmentToPassOn(LookupProcessEnvironment) : std::vector<std::string>();
    return RunElevated(ElevatedCommandLine(route, executable, elevated.arguments, environment), elevated.standardInput);
}

} // namespace platform
