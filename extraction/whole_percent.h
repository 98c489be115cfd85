// The whole percentage a progress bar and a status line show.
#pragma once

#include <cmath>

// The percentage truncated towards zero, kept within 0 to 100 (NaN gives 0): 99.9 gives 99.
inline int WholePercent(double percent)
{
    if (!(percent > 0.0)) // also NaN
        return 0;
    if (percent >= 100.0)
        return 100;
    return static_cast<int>(std::trunc(percent));
}
