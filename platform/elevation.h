// Running with administrator rights. The program does its work as root; started by anyone
// else it runs itself again through pkexec, which asks for a password in the desktop's own
// dialog. A process started through pkexec trusts none of the program's settings from the
// environment: they were written by the user who asked for the rights.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The exit code when rights could not be had (pkexec missing, refused or failed).
inline constexpr int kElevationUnavailableExitCode = 126;

// As root: the file mode mask becomes 022, whatever the caller left (pkexec keeps the caller's).
// Called first, before any file or folder is made. Other users keep their own.
void UseOwnFileModeMask();

// PKEXEC_UID is set: the process was started through pkexec, by the user it names.
bool StartedThroughPkexec();

// Where the program lives when it was installed from its package: the program's path, and the
// polkit action file whose exec.path names it.
struct InstalledPlace {
    std::string program;
    std::string actionFile;
};

// What the elevated run is given: its arguments, which every user on the machine can read
// while it runs (and pkexec's too), so never a secret; and what it reads on its standard input,
// which nobody else sees.
struct ElevatedRun {
    std::vector<std::string> arguments;
    std::string standardInput;
};

// As root: nullopt, go on. Otherwise the program ran elevated in a child process (or could
// not): the caller exits at once with the returned code, without opening a window of the run.
// Refusals are explained on standard error in Chinese and English and give
// kElevationUnavailableExitCode. `run` is asked only when elevating.
std::optional<int> EnsureElevated(const InstalledPlace& installed, const std::function<ElevatedRun()>& run);

// In a process started through pkexec, before any window: XAUTHORITY is taken only when it
// names a regular file (not a link) owned by the user in PKEXEC_UID that neither its group nor
// others may write; its bytes are then copied into memory of this process's own and XAUTHORITY
// points there, so that the file cannot be swapped afterwards. Otherwise XAUTHORITY names an
// empty file: no cookie at all is sent, neither one the caller named nor root's own
// (~/.Xauthority as root). Returns why the caller's was dropped, empty when it was taken or
// there was none.
std::string UseCallersDisplayAuthority();

// The value of one of the program's settings (an INSTALLER_* variable), or nullptr. In a
// process started through pkexec (PKEXEC_UID is set), the first call of this or
// DropSettingsFromUser removes every INSTALLER_* variable the process was started with.
const char* SettingFromEnvironment(const char* name);
// In a process started through pkexec: removes every INSTALLER_* variable from the environment,
// once, with one line on standard error for each. What the program sets itself afterwards
// stays. Returns the names removed by this call.
std::vector<std::string> DropSettingsFromUser();

// The pieces, for tests.
using EnvironmentLookup = std::function<const char*(const char* name)>;
// Where the elevated process starts from.
enum class ElevationRoute {
    // The installed program: pkexec runs it directly, so polkit picks the package's action,
    // which keeps the display and shows the action's message.
    InstalledAction,
    // Anywhere else: pkexec env NAME=value ... <executable>, under polkit's generic action.
    Env,
};
// InstalledAction when `executable` is the installed program and its action is in place.
ElevationRoute RouteFor(const std::string& executable, const InstalledPlace& installed);
// The pkexec command line. `environment` (for the Env route) holds "NAME=value" entries.
std::vector<std::string> ElevatedCommandLine(ElevationRoute route, const std::string& executable,
    const std::vector<std::string>& arguments, const std::vector<std::string>& environment);
// The display, locale and Qt platform variables worth passing on, "NAME=value", from `lookup`:
// DISPLAY, XAUTHORITY, LANG, LC_ALL, LC_CTYPE; QT_QPA_PLATFORM only when it is xcb, wayland or
// offscreen; WAYLAND_DISPLAY as the socket's full path, only when the socket lies in a folder of
// the calling user's own (a real folder owned by the caller that nobody else may write).
// XDG_RUNTIME_DIR itself never crosses, nor any of the program's INSTALLER_* settings.
std::vector<std::string> EnvironmentToPassOn(const EnvironmentLookup& lookup);
// Runs the command line (its first word looked up in PATH) with `standardInput` on its standard
// input (then closed) and returns its exit code, or kElevationUnavailableExitCode after
// explaining why on standard error.
int RunElevated(const std::vector<std::string>& commandLine, const std::string& standardInput = {});

} // namespace platform
