// How this run was asked to go: built once from the command line (app/command_line.h) and handed
// by value to the window run, station mode and the installation session, which keep their own
// copy. Nothing here changes once the run has started.
#pragma once

#include "net/proxy_setting.h"

#include <optional>

struct RunOptions {
    // Nobody at the screen (--unattended): every message answers itself with its default
    // button, the completion window dismisses itself, and progress is printed as lines.
    bool unattended = false;
    bool verify = true; // read every stick back after writing it (--no-verify: not)
    bool eject = false; // unmount and power off each stick once it is installed
    std::optional<int> stickCount; // station mode ends after this many sticks (--count)
    net::ProxySetting proxy; // how every request reaches its server
};
