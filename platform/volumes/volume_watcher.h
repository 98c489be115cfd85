// Notices volumes that come and go: the mount table (or the volume map and its folders) is
// watched on a thread of its own, and each change is reported as two letter masks (bit 0 is A:).
#pragma once

#include "platform/win32_types.h"

#include <functional>
#include <memory>
#include <thread>

namespace platform {

class VolumeTable;

class VolumeWatcher {
public:
    using Callback = std::function<void(DWORD arrivedMask, DWORD removedMask)>;

    // The callback runs on the watcher's thread, once per change, arrivals and removals of one
    // change together.
    VolumeWatcher(VolumeTable& table, Callback callback);
    ~VolumeWatcher(); // stops and joins the thread
    VolumeWatcher(const VolumeWatcher&) = delete;
    VolumeWatcher& operator=(const VolumeWatcher&) = delete;

private:
    struct State;
    std::unique_ptr<State> m_state;
    std::jthread m_thread; // after the state: it goes first
};

// The letters that have a volume now, as a mask.
DWORD PresentDriveMask(VolumeTable& table);

} // namespace platform
