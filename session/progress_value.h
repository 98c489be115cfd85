// One value of an installation's progress: its phase, its percentage and the bytes it stands
// for. Made by the session's threads, shown by the download window and station mode.
#pragma once

#include <cstdint>

// Retry: a cut download waits to go on (the bar keeps the download's percentage). Waiting: the
// server has taken the request and sends nothing yet.
enum class ProgressPhase { Download, Extract, Verify, Retry, Waiting };

struct ProgressValue {
    ProgressPhase phase = ProgressPhase::Download;
    double percent = 0.0; // 0 to 100
    int attempt = 0; // Retry: the try to come (1 to 5)
    int waitSeconds = 0; // Retry: how long until then
    // The bytes the percentage stands for (the speed and the time left); 0 of 0 when unknown.
    std::uint64_t done = 0;
    std::uint64_t total = 0;
};
