// Real archive tools driven from tests (Info-ZIP's zip, Python's zipfile through
// zipfile_builder.py), with the file helpers their tests use.
#pragma once

#include "file_bytes.h"

#include <filesystem>
#include <string>

// The shell command's exit status.
int RunShell(const std::string& command);
std::string ShellQuoted(const std::string& text);

// Runs Info-ZIP's zip inside `folder` on everything in it (names relative to the folder).
// Throws when zip fails. `options` go before the archive name, e.g. "-0" or "-fz".
void ZipFolderWithInfoZip(
    const std::filesystem::path& folder, const std::filesystem::path& archive, const std::string& options = "");

// Builds the archive with zipfile_builder.py from a JSON list of entries (see the script).
// Throws when the script fails.
void BuildZipWithPython(const std::filesystem::path& archive, const std::string& jsonEntries);
