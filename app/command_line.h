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
    std::string error; // set when the arguments do not parse
};

CommandLine ParseCommandLine(int argc, const char* const* argv);

// Every option and environment variable, for --help.
std::string HelpText();
