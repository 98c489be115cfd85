#include "app/command_line.h"
#include "app/demo.h"
#include "app/drive_report.h"
#include "app/package_key.h"
#include "app/program_directory.h"
#include "app/render_skin.h"
#include "app/startup.h"
#include "platform/elevation.h"
#include "platform/ui_session.h"
#include "platform/volume_table.h"
#include "platform/win32.h"

#include <iostream>

namespace {

constexpr int kExitBadSetup = 2;

} // namespace

int main(int argc, char** argv)
{
    const CommandLine line = ParseCommandLine(argc, argv);
    if (!line.error.empty()) {
        std::cerr << "installer: " << line.error << "\nTry 'installer --help'.\n";
        return kExitBadSetup;
    }
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

    DemoWorld demo;
    if (line.demo) {
        demo = PrepareDemo();
        if (!demo.error.empty()) {
            std::cerr << "installer: demo: " << demo.error << '\n';
            return kExitBadSetup;
        }
        std::cout << "演示 / demo: the stick is the folder " << demo.stickFolder << "\n"
                  << "             the hard disk is the folder " << demo.diskFolder << std::endl;
    }
    if (const std::string error = platform::VolumeTable::Instance().VolumeMapError(); !error.empty()) {
        std::cerr << "installer: volume map: " << error << '\n';
        return kExitBadSetup;
    }
    if (line.printDrives) {
        PrintDriveReport(std::cout);
        return 0;
    }
    // The demo writes only into its own temporary folder and needs no rights.
    if (!line.demo) {
        if (const auto exitCode = platform::EnsureElevated(argc, argv))
            return *exitCode;
    }

    packageKey = line.demo ? demo.packageKey
                           : FindPackageKey(line.packageKey, ProgramDirectory(false).str() + L"packagekey.txt");
    platform::UiSession ui(argc, argv);
    return RunInstaller(GetModuleHandleW(nullptr));
}
