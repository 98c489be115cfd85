// `installer --drives`: one line per letter that has a volume, then the download disk.
#pragma once

#include <ostream>

void PrintDriveReport(std::ostream& out);
