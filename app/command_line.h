// The installer's command line.
#pragma once

#include <optional>
#include <string>

struct CommandLine {
    bool printDrives = false;
    bool printVersion = false;
    bool printHelp = false;
    bool demo = false;
    bool unattended = false;
    bool verify = true; // --no-verify turns the read-back after writing off
    bool station = false; // --station: one download, every stick plugged in
    bool eject = false; // --eject: unmount and power off each stick once it is installed
    std::optional<int> count; // --count N: station mode ends after N sticks
    std::optional<std::string> renderSkinDir;
    std::optional<std::string> packageKey;
    std::optional<std::string> proxy; // --proxy: "direct" or a proxy URL for every request
    std::string error; // set when the arguments do not parse
};

CommandLine ParseCommandLine(int argc, const char* const* argv);

// For a process started through pkexec, which runs installations only (the window run,
// --unattended, --station and their options): why this command line is refused, in one line,
// or empty when it is accepted.
std::string RefusalThroughPkexec(const CommandLine& line);

// Every option and environment variable, for --help.
std::string HelpText();
