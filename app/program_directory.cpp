#include "app/program_directory.h"

#include "net/package_address.h"

#include "platform/win32.h"

#include <vector>

namespace {

CDuiString ProgramPath()
{
    // A Linux path may be longer than MAX_PATH: grow the buffer rather than cut the path.
    std::vector<wchar_t> buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length < buffer.size() - 1 || buffer.size() >= 32768)
            return CDuiString(std::wstring_view(buffer.data(), length));
        buffer.assign(buffer.size() * 2, L'\0');
    }
}

bool IsFile(const CDuiString& path)
{
    const DWORD attributes = GetFileAttributesW(path.GetData());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

} // namespace

CDuiString FolderOfPath(const CDuiString& path, bool withoutSeparator)
{
    const int cut = path.ReverseFind(L'\\');
    if (cut < 0)
        return CDuiString();
    CDuiString folder = path.Left(cut);
    if (!withoutSeparator)
        folder += L'\\';
    return folder;
}

CDuiString ProgramDirectory(bool withoutSeparator) { return FolderOfPath(ProgramPath(), withoutSeparator); }

CDuiString FileBesideProgram(const wchar_t* name)
{
    const CDuiString beside = ProgramDirectory(false) + name;
    if (IsFile(beside))
        return beside;
    // The package's program in /usr/bin keeps its configuration where the system's belongs.
    if (ProgramPath() == CDuiString(platform::RootedPath(INSTALLER_INSTALLED_PROGRAM).c_str())) {
        const CDuiString configured = CDuiString(L"\\etc\\" INSTALLER_PACKAGE_NAME L"\\") + name;
        if (IsFile(configured))
            return configured;
    }
    return beside;
}

bool AlternateStorageSelected()
{
    const CDuiString marker = FileBesideProgram(L"qaswitch.txt");
    const DWORD attributes = GetFileAttributesW(marker.GetData());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void SelectCloudBaseUrl()
{
    const bool alternate = AlternateStorageSelected();
    activeCloudBaseUrl = alternate ? cloudBaseUrlAlt : cloudBaseUrl;
    activeCloudBaseUrlFallbacks = alternate ? std::vector<std::string>() : cloudBaseUrlFallbacks;
}
