// Station mode: the package downloaded once onto the hard disk, then written onto every
// removable drive present or plugged in later, each on its own thread, all at once, with one
// line of progress per stick in the terminal and a summary at the end. No windows.
#pragma once

#include "session/run_options.h"

// Runs the mode to its end as `options` say: it ends once options.stickCount sticks have
// finished (otherwise at a stop signal), reads every stick back unless options.verify is off,
// ejects every stick installed with options.eject, and asks through options.proxy. The caller
// has elevated and holds the instance lock; the package key is in packageKey. 0 when every stick started was installed, 1 otherwise (or when the
// download failed), 2 when the hard-disk side refused.
int RunStation(const RunOptions& options);
