#include "install/work_folder.h"

#include "platform/win32.h"

namespace {

bool IsFolder(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

} // namespace

platform::Result<void> MakeWorkFolder(const std::string& workFolder)
{
    const std::wstring folder = platform::Widen(workFolder);
    if (IsFolder(folder))
        return {};
    SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    if (IsFolder(folder))
        return {};
    return platform::SystemError(0, "cannot make the work folder " + workFolder);
}
