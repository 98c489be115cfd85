#include "zip_tools.h"

#include <cstdlib>
#include <stdexcept>
#include <sys/wait.h>

#ifndef INSTALLER_TEST_SUPPORT_DIR
#error "INSTALLER_TEST_SUPPORT_DIR names tests/support"
#endif

namespace {

std::string Python()
{
    // Debian's interpreter first: another python3 earlier on PATH may lack the standard setup.
    return std::filesystem::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
}

} // namespace

int RunShell(const std::string& command)
{
    const int status = std::system(command.c_str());
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ShellQuoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

void ZipFolderWithInfoZip(
    const std::filesystem::path& folder, const std::filesystem::path& archive, const std::string& options)
{
    const std::string command =
        "cd " + ShellQuoted(folder.string()) + " && zip -q -r " + options + " " + ShellQuoted(archive.string()) + " .";
    if (RunShell(command) != 0)
        throw std::runtime_error("zip failed: " + command);
}

void BuildZipWithPython(const std::filesystem::path& archive, const std::string& jsonEntries)
{
    const std::filesystem::path spec = archive.string() + ".json";
    WriteFileBytes(spec, jsonEntries);
    const std::string command = Python() + " " + ShellQuoted(INSTALLER_TEST_SUPPORT_DIR "/zipfile_builder.py") + " " +
        ShellQuoted(archive.string()) + " " + ShellQuoted(spec.string());
    const int status = RunShell(command);
    std::filesystem::remove(spec);
    if (status != 0)
        throw std::runtime_error("zipfile_builder.py failed: " + command);
}
