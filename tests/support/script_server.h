// Runs one of the support scripts (a loopback HTTP server, a private D-Bus) as a child process
// for as long as this object lives. The script prints one line "<word> <value>" when it is
// ready and ends by itself once its standard input closes, which the destructor does.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class ScriptServer {
public:
    // argv[0] is the program (for example "/usr/bin/python3"); throws std::runtime_error when
    // the script cannot be started or does not report ready.
    explicit ScriptServer(const std::vector<std::string>& argv);
    ~ScriptServer();

    ScriptServer(const ScriptServer&) = delete;
    ScriptServer& operator=(const ScriptServer&) = delete;

    // The value of the ready line ("port 40123" gives "40123").
    const std::string& ReadyValue() const { return m_readyValue; }

private:
    // Closes the script's standard input and waits for it to end (killing it after 10 s).
    void Stop();

    pid_t m_pid = -1;
    int m_stdinWrite = -1;
    std::string m_readyValue;
};

// The folder of the support scripts.
std::string SupportScript(const std::string& name);
