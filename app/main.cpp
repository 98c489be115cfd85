#include "app/command_line.h"
#include "app/demo.h"
#include "app/drive_report.h"
#include "app/package_key.h"
#include "app/program_directory.h"
#include "app/render_skin.h"
#include "app/run_outcome.h"
#include "app/start_flow.h"
#include "app/startup.h"
#include "app/station/station.h"
#include "app/stick_eject.h"
#include "download_window/download_wnd.h"
#include "download_window/install_worker.h"
#include "net/package_address.h"
#include "net/proxy_setting.h"
#include "net/site_settings.h"
#include "platform/device_notifications.h"
#include "platform/elevation.h"
#include "platform/file_lock.h"
#include "platform/stop_signals.h"
#include "platform/ui_session.h"
#include "platform/ui_thread.h"
#include "platform/user_text_trace.h"
#include "platform/volume_table.h"
#include "platform/win32.h"
#include "ui/user_texts.h"

#include <chrono>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int kExitBadSetup = 2;
constexpr int kExitAlreadyRunning = 1; // unattended: the installation did not happen
constexpr int kExitInterrupted = 1; // unattended: stopped by a signal
constexpr int kExitWindowClosed = 1; // unattended: a window was closed
// How long a display's loss waits for the worker to stop (it stops within one block).
constexpr std::chrono::seconds kStopOnDisplayLoss{10};

bool HasDisplay()
{
    WCHAR value[8];
    return GetEnvironmentVariableW(L"DISPLAY", value, 8) != 0 ||
        GetEnvironmentVariableW(L"WAYLAND_DISPLAY", value, 8) != 0 ||
        GetEnvironmentVariableW(L"QT_QPA_PLATFORM", value, 8) != 0;
}

// Unattended, every text a user would have read goes to standard error, one line each.
void PrintUserTexts()
{
    platform::SetUserTextTrace([](std::wstring_view text) { std::cerr << platform::Narrow(text) << std::endl; });
}

// The debug output's first line of a run, which tells runs apart in a file they all append to;
// a proxy, which may hold a password, is left out.
std::string StartLine(int argc, char** argv)
{
    std::string text = "installer " INSTALLER_VERSION " started:";
    for (const std::string& argument : ArgumentsWithoutSecrets(argc, argv))
        text += " " + argument;
    return text;
}

// The run elevated from here: its arguments without a proxy (every user can read a command
// line), and on its standard input the proxy of the command line as it was given, else (when
// the site settings name none, which the elevated run reads itself) the one the desktop uses
// for the storage it will ask.
platform::ElevatedRun ElevatedRunOf(
    int argc, char** argv, const CommandLine& line, const std::optional<std::string>& siteProxy)
{
    platform::ElevatedRun run{ArgumentsWithoutSecrets(argc, argv), {}};
    run.arguments.emplace_back(kSettingsOnStdinOption);
    const std::string desktop = line.proxy || siteProxy
        ? std::string()
        : net::DesktopProxyValue(DefaultCloudBaseUrl(AlternateStorageSelected()), DefaultProbeAddress());
    run.standardInput = HandOverText(line, desktop);
    return run;
}

// Reads the command line and what the caller's process hands over; an exit code when the run
// ends here (a refusal, --help, --version, --render-skin).
std::optional<int> ReadCommandLine(int argc, char** argv, CommandLine& line)
{
    line = ParseCommandLine(argc, argv);
    // Whoever started it through pkexec chose the arguments: only installations run, and
    // anything else is refused before anything is read or written.
    if (platform::StartedThroughPkexec()) {
        if (const std::string refusal = RefusalThroughPkexec(line); !refusal.empty()) {
            std::cerr << "installer: " << refusal << std::endl;
            return kExitBadSetup;
        }
    }
    if (!line.error.empty()) {
        std::cerr << "installer: " << line.error << "\nTry 'installer --help'.\n";
        return kExitBadSetup;
    }
    if (line.settingsOnStdin) {
        if (const std::string refusal = ReadHandOver(std::cin, line); !refusal.empty()) {
            std::cerr << "installer: " << refusal << std::endl;
            return kExitBadSetup;
        }
    }
    // Started through pkexec, the display's authority file must be the caller's own.
    if (const std::string dropped = platform::UseCallersDisplayAuthority(); !dropped.empty())
        std::cerr << "installer: ignoring XAUTHORITY: " << dropped << std::endl;
    if (line.printHelp) {
        std::cout << HelpText();
        return 0;
    }
    if (line.printVersion) {
        std::cout << INSTALLER_VERSION << '\n';
        return 0;
    }
    if (line.renderSkinDir)
        return RenderSkin(*line.renderSkinDir);
    return std::nullopt;
}

// The demo's world, when it runs; with no display it runs offscreen and unattended. An exit
// code when it cannot be made.
std::optional<int> PrepareDemoWorld(CommandLine& line, DemoWorld& demo)
{
    if (!line.demo)
        return std::nullopt;
    demo = PrepareDemo();
    if (!demo.error.empty()) {
        std::cerr << "installer: demo: " << demo.error << '\n';
        return kExitBadSetup;
    }
    std::cout << "演示 / demo: the stick is the folder " << demo.stickFolder << "\n"
              << "             the hard disk is the folder " << demo.diskFolder << std::endl;
    // With no display the demo still shows the whole installation, in the terminal.
    if (!HasDisplay()) {
        SetEnvironmentVariableW(L"QT_QPA_PLATFORM", L"offscreen");
        line.unattended = true;
        std::cout << "             no display: running offscreen and unattended" << std::endl;
    }
    return std::nullopt;
}

// The school's site settings, read by every run (the elevated one too) before anything is
// downloaded, and the rights to install; the demo needs neither (it has its own storage and
// writes only into its own temporary folder). An exit code when this process goes no further
// (the elevated run's, or a refusal); `siteProxy` is the settings' proxy.
std::optional<int> SettingsAndRights(
    int argc, char** argv, const CommandLine& line, std::optional<std::string>& siteProxy)
{
    if (line.demo)
        return std::nullopt;
    const auto settings = net::LoadSiteSettings(INSTALLER_SETTINGS_DIR);
    if (!settings) {
        std::cerr << "installer: site settings: " << settings.Failure() << std::endl;
        return kExitBadSetup;
    }
    net::UseSiteSettings(*settings);
    siteProxy = settings->proxy;
    const auto exitCode = platform::EnsureElevated({INSTALLER_INSTALLED_PROGRAM, INSTALLER_POLKIT_ACTION_FILE},
        [&] { return ElevatedRunOf(argc, argv, line, siteProxy); });
    // Started from the menu, standard error is nowhere: the user reads why nothing happens.
    if (exitCode == platform::kElevationUnavailableExitCode && HasDisplay() && !line.station) {
        if (line.unattended)
            PrintUserTexts();
        const platform::UiSession ui(argc, argv);
        ShowNoAdministratorRights(GetModuleHandleW(nullptr), line.unattended);
    }
    return exitCode;
}

// What an unattended window run says at its end, the ejection of the installed stick, and the
// exit code.
int EndWindowRun(const RunOptions& options, RunOutcome outcome, const std::string& demoStick)
{
    if (options.unattended && platform::StopRequestedBySignal()) {
        platform::SetStopSignalHandler({});
        std::cerr << platform::Narrow(text::kInstallInterrupted) << std::endl;
        return kExitInterrupted;
    }
    if (options.unattended && outcome == RunOutcome::Installed)
        std::cout << platform::Narrow(options.verify ? text::kInstalled : text::kInstalledUnverified)
                  << (demoStick.empty() ? std::string() : "：" + demoStick) << std::endl;
    // The windows are closed and the worker has let go of the stick: it can be ejected.
    if (options.eject && outcome == RunOutcome::Installed)
        EjectInstalledStick(g_downloadWnd->StickRoot(), options.unattended);
    return options.unattended ? UnattendedExitCode(outcome) : 0;
}

// The described run: the main window and everything it opens, until its loop ends.
int RunWindows(int argc, char** argv, const RunOptions& options, const platform::FileLock& instanceLock,
    const std::string& demoStick)
{
    platform::UiSession ui(argc, argv);
    // The display gone (the X server ended): the worker stops as it would for a closed window
    // (the file being written is removed, a download keeps its part), and the program ends with
    // a closed window's exit code; the lock and the inhibitor go with the process.
    platform::SetDisplayLostHandler([unattended = options.unattended] {
        std::cerr << "installer: the display went away" << std::endl;
        StopInstallWorker(kStopOnDisplayLoss);
        return unattended ? kExitWindowClosed : 0;
    });
    if (instanceLock.GetState() == platform::FileLock::State::Busy) {
        ShowAlreadyRunning(GetModuleHandleW(nullptr), options.unattended);
        return options.unattended ? kExitAlreadyRunning : 0;
    }
    const platform::DeviceNotifications deviceNotifications(platform::VolumeTable::Instance());
    if (options.unattended) {
        // The worker stops within a block (the file it writes is removed); the window's loops
        // end with the quit message.
        platform::SetStopSignalHandler([] {
            StopInstallWorker(std::chrono::milliseconds(0));
            platform::InvokeOnUiThread([] { PostQuitMessage(kExitInterrupted); });
        });
    }
    RunOutcome outcome = RunOutcome::Pending;
    if (!platform::StopRequestedBySignal())
        outcome = RunInstaller(GetModuleHandleW(nullptr), options);
    // The program may end while the worker still downloads or writes (the window was closed,
    // the stick pulled): stop it before anything it uses goes away.
    StopInstallWorkerAndWait();
    return EndWindowRun(options, outcome, demoStick);
}

} // namespace

int main(int argc, char** argv)
{
    // Before any file or folder is made: root's files are made under root's own mask.
    platform::UseOwnFileModeMask();
    // Started through pkexec, the program's settings from the environment were written by the
    // user who asked for the rights: none of them is trusted (most went already, read during
    // static initialisation).
    platform::DropSettingsFromUser();
    CommandLine line;
    if (const auto exitCode = ReadCommandLine(argc, argv, line))
        return *exitCode;
    OutputDebugStringW(platform::Widen(StartLine(argc, argv)).c_str());
    DemoWorld demo;
    if (const auto exitCode = PrepareDemoWorld(line, demo))
        return *exitCode;
    if (const std::string error = platform::VolumeTable::Instance().VolumeMapError(); !error.empty()) {
        std::cerr << "installer: volume map: " << error << '\n';
        return kExitBadSetup;
    }
    if (line.printDrives) {
        PrintDriveReport(std::cout);
        return 0;
    }
    std::optional<std::string> siteProxy;
    if (const auto exitCode = SettingsAndRights(argc, argv, line, siteProxy))
        return *exitCode;
    const RunOptions options = MakeRunOptions(line, siteProxy, platform::StartedThroughPkexec());
    packageKey =
        line.demo ? demo.packageKey : FindPackageKey(line.packageKey, FileBesideProgram(L"packagekey.txt").str());
    // Before any window or worker thread: Ctrl-C, SIGTERM and SIGHUP stop the installation the
    // way closing the window would.
    std::optional<platform::StopSignalCatcher> stopSignals;
    if (options.unattended) {
        PrintUserTexts();
        stopSignals.emplace();
    }
    // One installer at a time on these drives: a second one touches nothing.
    // The real drives' lock is root's alone: whoever may open a lock file may hold it.
    const platform::FileLock instanceLock(platform::VolumeTable::Instance().InstanceLockFile(),
        platform::VolumeTable::Instance().UsesVolumeMap() ? platform::FileLock::Folder::AsItIs
                                                          : platform::FileLock::Folder::RootsOwn);
    if (instanceLock.GetState() == platform::FileLock::State::Unavailable) {
        std::cerr << "installer: cannot lock " << instanceLock.Path() << ": " << instanceLock.Reason() << '\n';
        return kExitBadSetup;
    }
    if (!line.station)
        return RunWindows(argc, argv, options, instanceLock, line.demo ? demo.stickFolder : std::string());
    // No windows: the already-running message is a line as well.
    if (instanceLock.GetState() == platform::FileLock::State::Busy) {
        std::cerr << platform::Narrow(text::kAlreadyRunning) << std::endl;
        return kExitAlreadyRunning;
    }
    return RunStation(options);
}
