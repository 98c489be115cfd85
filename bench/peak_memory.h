// The benchmarks' memory figure.
#pragma once

#include <fstream>
#include <string>

// VmHWM: the most memory the process has held resident, in KiB; -1 when it cannot be read.
inline long PeakResidentKib()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return -1;
}
