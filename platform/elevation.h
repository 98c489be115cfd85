// Running with administrator rights. The program does its work as root; started by anyone
// else it runs itself again through pkexec, which asks for a password in the desktop's own
// dialog, and passes on the display and the program's settings from the environment.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The exit code when rights could not be had (pkexec missing, refused or failed).
inline constexpr int kElevationUnavailableExitCode = 126;

// As root: nullopt, go on. Otherwise the program ran elevated in a child process (or could
// not): the caller exits at once with the returned code, without opening a window. Refusals
// are explained on standard error in Chinese and English.
std::optional<int> EnsureElevated(int argc, char** argv);

// The pieces, for tests.
using EnvironmentLookup = std::function<const char*(const char* name)>;
// pkexec env NAME=value ... <executable> <arguments>: the display variables, locale, Qt's
// platform choice and every INSTALLER_* variable that is set, and a marker against looping.
std::vector<std::string> ElevatedCommandLine(const std::string& executable, const std::vector<std::string>& arguments,
                                             const std::vector<std::string>& environment);
// Variables worth passing on, "NAME=value", from the current environment (or `lookup`).
std::vector<std::string> EnvironmentToPassOn(const std::vector<std::string>& environment, const EnvironmentLookup& lookup);
// Runs the command line (its first word looked up in PATH) and returns its exit code, or
// kElevationUnavailableExitCode after explaining why on standard error.
int RunElevated(const std::vector<std::string>& commandLine);

} // namespace platform
