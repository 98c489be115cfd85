// What the download window shows while a package is written to the drive and read back: the
// percentage, the status lines and the debug trace line (the bar shows WholePercent,
// install/whole_percent.h).
#pragma once

#include <cstdint>
#include <string>

// Share of the extraction done, 0 to 100. A total of 0 (an archive of empty entries only)
// counts as complete; a count past the total shows 100.
double ExtractPercent(std::uint64_t processed, std::uint64_t total);

// "正在写入文件%6.2lf%%": 50 gives "正在写入文件 50.00%", 100 gives "正在写入文件100.00%".
// The decimal point is always '.', whatever the locale.
std::wstring FormatExtractStatus(double percent);

// "正在校验文件%6.2lf%%", the reading back of what was written, formatted as the writing is.
std::wstring FormatVerifyStatus(double percent);

// The debug trace line: the percentage with "%f", then "%\n" (42.5 gives "42.500000%\n").
std::wstring FormatExtractDebugLine(double percent);
