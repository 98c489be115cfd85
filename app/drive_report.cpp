#include "app/drive_report.h"

#include "drives/drive_info.h"
#include "platform/win32.h"

void PrintDriveReport(std::ostream& out)
{
    for (const std::wstring& letter : g_driveLetters) {
        const DriveInfo drive(letter);
        const std::wstring root = drive.driveName + L"\\";
        if (GetDriveTypeW(root.c_str()) == DRIVE_NO_ROOT_DIR)
            continue;
        const std::string folder = platform::NativePath(drive.driveName).value_or("");
        out << platform::Narrow(drive.driveName) << '\t' << platform::Narrow(drive.typeText) << '\t'
            << platform::Narrow(drive.FreeSpaceText(Giga)) << '\t' << folder;
        if (const std::string why = WhyNotDownloadDisk(drive); !why.empty())
            out << "\tnever the download disk: " << why;
        out << '\n';
    }
    out << "download disk: " << platform::Narrow(PickDownloadDisk().driveName) << '\n';
    out.flush();
}
