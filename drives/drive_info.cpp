#include "drives/drive_info.h"

#include "platform/system_disk.h"
#include "platform/win32.h"

#include <charconv>
#include <cwctype>

namespace {

std::vector<std::wstring> MakeDriveLetters()
{
    std::vector<std::wstring> letters;
    for (wchar_t letter = L'A'; letter <= L'Z'; ++letter)
        letters.emplace_back(1, letter);
    return letters;
}

const wchar_t* TypeName(UINT driveType)
{
    switch (driveType) {
    case DRIVE_UNKNOWN:
        return L"Unknown Type!";
    case DRIVE_REMOVABLE:
        return L"Removable Disk";
    case DRIVE_FIXED:
        return L"Hard Disk";
    case DRIVE_REMOTE:
        return L"Remote Device";
    case DRIVE_CDROM:
        return L"CD";
    case DRIVE_RAMDISK:
        return L"RAM";
    default:
        return nullptr;
    }
}

// Reads the leading decimal number of a text the way the C runtime's wide atof does, but
// independent of the locale's decimal point; 0.0 when there is none.
double LeadingNumber(const std::wstring& text)
{
    std::string ascii;
    for (const wchar_t c : text) {
        if (c > 0x7F)
            break;
        ascii += static_cast<char>(c);
    }
    const auto first = ascii.find_first_not_of(" \t");
    if (first == std::string::npos)
        return 0.0;
    double value = 0.0;
    const auto [end, error] = std::from_chars(ascii.data() + first, ascii.data() + ascii.size(), value);
    return error == std::errc() ? value : 0.0;
}

std::uint64_t SaturatingProduct(std::uint64_t a, std::uint64_t b)
{
    std::uint64_t product = 0;
    return __builtin_mul_overflow(a, b, &product) ? UINT64_MAX : product;
}

} // namespace

const std::vector<std::wstring> g_driveLetters = MakeDriveLetters();
std::vector<DriveInfo> g_removableDrives;
DriveInfo g_downloadDisk;

DriveInfo::DriveInfo(const std::wstring& letter) : driveName(letter + L":")
{
    const wchar_t c = letter.empty() ? L'\0' : static_cast<wchar_t>(std::towlower(static_cast<wint_t>(letter[0])));
    typeText = QueryDriveTypeText(c);
}

std::wstring QueryDriveTypeText(wchar_t letter)
{
    if (!IsCharAlphaW(letter))
        return L"驱动器参数无效!";
    const wchar_t root[] = {letter, L':', L'\\', L'\0'};
    const UINT driveType = GetDriveTypeW(root);
    if (driveType == DRIVE_NO_ROOT_DIR)
        return L"获取驱动器类型时参数设置错误!";
    const wchar_t* name = TypeName(driveType);
    if (name == nullptr)
        return L"Unknown Mistake!";
    return std::wstring(L"Driver ") + letter + L" Of Type:" + name + L".";
}

std::wstring DriveInfo::FreeSpaceText(int unit) const
{
    if (driveName.empty())
        return std::wstring();
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    if (!GetDiskFreeSpaceW(driveName.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters))
        return std::wstring();
    const std::uint64_t freeBytes =
        SaturatingProduct(SaturatingProduct(freeClusters, sectorsPerCluster), bytesPerSector);
    return FormatByteSize(freeBytes, unit);
}

double FreeSpaceGB(DriveInfo drive)
{
    const std::wstring text = drive.FreeSpaceText(Giga);
    const auto g = text.find(L'G');
    return LeadingNumber(g == std::wstring::npos ? std::wstring() : text.substr(0, g));
}

void ScanRemovableDrives(const std::vector<std::wstring>& letters, std::vector<DriveInfo>& out)
{
    out.clear();
    for (const std::wstring& letter : letters) {
        DriveInfo drive(letter);
        if (drive.typeText.find(L"Removable Disk") != std::wstring::npos)
            out.push_back(drive);
    }
}

std::string WhyNotDownloadDisk(const DriveInfo& drive)
{
    return drive.driveName.empty() ? std::string() : platform::WhyNotDownloadDisk(drive.driveName.front());
}

bool IsSystemDisk(const DriveInfo& drive) { return WhyNotDownloadDisk(drive).empty(); }

DriveInfo PickDownloadDisk()
{
    DriveInfo best(L"C");
    for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
        DriveInfo candidate(std::wstring(1, letter));
        if (candidate.typeText.find(L"Hard Disk") != std::wstring::npos && IsSystemDisk(candidate) &&
            FreeSpaceGB(candidate) > FreeSpaceGB(best))
            best = candidate;
    }
    return best;
}
