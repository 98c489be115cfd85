// OutputDebugStringW: one line per call to standard error or a file named by
// INSTALLER_DEBUG_OUTPUT ("1" or "stderr": standard error; unset or empty: silent).
#include "platform/elevation.h"
#include "platform/win32_strings.h"
#include "platform/win32_system.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

std::mutex g_outputMutex;
std::string g_openPath;
std::unique_ptr<std::FILE, FileCloser> openFile;

std::FILE* Destination(const std::string& setting)
{
    if (setting == "1" || setting == "stderr")
        return stderr;
    if (setting != g_openPath || !openFile) {
        openFile.reset(std::fopen(setting.c_str(), "a"));
        g_openPath = setting;
    }
    return openFile.get();
}

} // namespace

void OutputDebugStringW(LPCWSTR text)
{
    const char* setting = platform::SettingFromEnvironment("INSTALLER_DEBUG_OUTPUT");
    if (!text || !setting || !*setting)
        return;
    std::string line = platform::Narrow(text);
    if (line.empty() || line.back() != '\n')
        line += '\n';
    std::lock_guard lock(g_outputMutex);
    if (std::FILE* destination = Destination(setting)) {
        std::fputs(line.c_str(), destination);
        std::fflush(destination);
    }
}
