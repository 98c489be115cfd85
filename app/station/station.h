// Station mode: the package downloaded once onto the hard disk, then written onto every
// removable drive present or plugged in later, each on its own thread, all at once, with one
// line of progress per stick in the terminal and a summary at the end. No windows.
#pragma once

#include <optional>

struct StationOptions {
    std::optional<int> count; // end once this many sticks have finished; otherwise at a stop signal
    bool verify = true; // read every stick back after writing it
    bool eject = false; // unmount and power off every stick that was installed
};

// Runs the mode to its end. The caller has elevated and holds the instance lock; the package
// key is in packageKey. 0 when every stick started was installed, 1 otherwise (or when the
// download failed), 2 when the hard-disk side refused.
int RunStation(const StationOptions& options);
