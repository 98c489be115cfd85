#include "app/program_directory.h"

#include <vector>

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

CDuiString ProgramDirectory(bool withoutSeparator)
{
    // A Linux path may be longer than MAX_PATH: grow the buffer rather than cut the path.
    std::vector<wchar_t> buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length < buffer.size() - 1 || buffer.size() >= 32768) {
            const CDuiString path(std::wstring_view(buffer.data(), length));
            return FolderOfPath(path, withoutSeparator);
        }
        buffer.assign(buffer.size() * 2, L'\0');
    }
}
