// The installer's command line.
#pragma once

#include "session/run_options.h"

#include <istream>
#include <optional>
#include <string>
#include <vector>

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
    // --settings-on-stdin: what the caller's process hands over to the elevated run comes on
    // standard input (settings a command line would show to every user)
    bool settingsOnStdin = false;
    std::optional<std::string> desktopProxy; // handed over: the caller's desktop's proxy
    std::string error; // set when the arguments do not parse
};

CommandLine ParseCommandLine(int argc, const char* const* argv);

// The run's options from a parsed command line, with the run's proxy decided by net::RunProxy
// from the command line's, the site settings' (`siteProxy`) and the handed-over desktop's.
RunOptions MakeRunOptions(
    const CommandLine& line, const std::optional<std::string>& siteProxy, bool startedThroughPkexec);

// The option of the elevated run that reads the hand-over on standard input.
inline constexpr const char* kSettingsOnStdinOption = "--settings-on-stdin";

// The hand-over for the elevated run, lines of "NAME=VALUE": "proxy=" (the caller's own --proxy)
// or "desktop-proxy=" (what the caller's desktop uses).
std::string HandOverText(const CommandLine& line, const std::string& desktopProxy);
// Reads the hand-over from `in` (at most 64 KiB) into `line`; a --proxy on the command line
// stays. Returns why it is refused in one line (an unknown name, a value that is no proxy),
// empty when it is taken.
std::string ReadHandOver(std::istream& in, CommandLine& line);
// The program's arguments with every --proxy and its value left out: what the elevated run's
// command line may show.
std::vector<std::string> ArgumentsWithoutSecrets(int argc, const char* const* argv);

// For a process started through pkexec, which runs installations only (the window run,
// --unattended, --station and their options): why this command line is refused, in one line,
// or empty when it is accepted.
std::string RefusalThroughPkexec(const CommandLine& line);

// Every option and environment variable, for --help.
std::string HelpText();
