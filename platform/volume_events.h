// Volumes that come and go, for a program without windows: a thread waits here until the set
// of drive letters changes, instead of looking at the drives over and over.
#pragma once

#include <chrono>
#include <memory>

namespace platform {

class VolumeTable;

class VolumeEvents {
public:
    // Watching starts here; a change from now on is not missed.
    explicit VolumeEvents(VolumeTable& table);
    ~VolumeEvents();
    VolumeEvents(const VolumeEvents&) = delete;
    VolumeEvents& operator=(const VolumeEvents&) = delete;

    // Waits until a volume arrived or left since the last call, Wake was called, or `limit`
    // passed. True when volumes changed.
    bool Wait(std::chrono::milliseconds limit);
    // Any thread: a Wait under way, or the next one, returns at once.
    void Wake();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace platform
