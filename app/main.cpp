#include "app/command_line.h"
#include "app/drive_report.h"
#include "platform/volume_table.h"

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
    if (const std::string error = platform::VolumeTable::Instance().VolumeMapError(); !error.empty()) {
        std::cerr << "installer: volume map: " << error << '\n';
        return kExitBadSetup;
    }
    if (line.printDrives) {
        PrintDriveReport(std::cout);
        return 0;
    }
    return 0;
}
