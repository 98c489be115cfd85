// Runs the installer executable as a child process with a chosen environment, its standard
// output and error captured, so a test can act while it runs (pull a stick) and then read how
// it ended.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

struct ProgramResult {
    int exitCode = -1; // -1 when it had to be killed
    std::string out;
    std::string err;
};

class ProgramRun {
public:
    // `environment` holds "NAME=value" lines added to a small clean environment (PATH, HOME,
    // XDG_RUNTIME_DIR, QT_QPA_PLATFORM=offscreen; no display); a line naming one of those replaces it.
    ProgramRun(const std::filesystem::path& executable, const std::vector<std::string>& arguments,
        const std::vector<std::string>& environment);
    ~ProgramRun();
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    // Standard output as far as it has been written.
    std::string OutputSoFar() const;
    // Sends the signal to the running program.
    void Signal(int signalNumber) const;

    // Waits for the end; kills the program when it outlives `limit`.
    ProgramResult Wait(std::chrono::seconds limit = std::chrono::seconds(120));

private:
    pid_t m_pid = -1;
    std::filesystem::path m_outFile;
    std::filesystem::path m_errFile;
};

// Waits until `condition` holds, checking every 20 ms, for at most `limit`.
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::seconds limit = std::chrono::seconds(60));

#include <thread>

template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::seconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}
