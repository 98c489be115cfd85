// Where the package key comes from: the command line, else packagekey.txt beside the program.
#pragma once

#include <optional>
#include <string>

// The key naming the courseware volume this run installs; empty when there is none.
extern std::string packageKey;

// `fromCommandLine` when given, else the first line of the file `keyFile` (a letter or rooted
// path), trimmed of a byte-order mark, surrounding blanks and the line end; empty when neither.
std::string FindPackageKey(const std::optional<std::string>& fromCommandLine, const std::wstring& keyFile);
