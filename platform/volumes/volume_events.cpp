#include "platform/volume_events.h"

#include "platform/volumes/volume_watcher.h"

#include <condition_variable>
#include <mutex>

namespace platform {

struct VolumeEvents::State {
    std::mutex mutex;
    std::condition_variable changed;
    bool volumesChanged = false;
    bool woken = false;
    std::unique_ptr<VolumeWatcher> watcher;
};

VolumeEvents::VolumeEvents(VolumeTable& table) : m_state(std::make_unique<State>())
{
    m_state->watcher = std::make_unique<VolumeWatcher>(table, [state = m_state.get()](DWORD, DWORD) {
        {
            const std::lock_guard lock(state->mutex);
            state->volumesChanged = true;
        }
        state->changed.notify_all();
    });
}

VolumeEvents::~VolumeEvents() { m_state->watcher.reset(); }

bool VolumeEvents::Wait(std::chrono::milliseconds limit)
{
    std::unique_lock lock(m_state->mutex);
    m_state->changed.wait_for(lock, limit, [this] { return m_state->volumesChanged || m_state->woken; });
    const bool volumesChanged = m_state->volumesChanged;
    m_state->volumesChanged = false;
    m_state->woken = false;
    return volumesChanged;
}

void VolumeEvents::Wake()
{
    {
        const std::lock_guard lock(m_state->mutex);
        m_state->woken = true;
    }
    m_state->changed.notify_all();
}

} // namespace platform
