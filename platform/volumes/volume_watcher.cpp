#include "platform/volumes/volume_watcher.h"

#include "platform/system/file_descriptor.h"
#include "platform/volume_table.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cstdint>
#include <stop_token>
#include <thread>

namespace platform {
namespace {

// A volume map can change without any event to wait for (its folders come and go), so it is
// read again on this period; the mount table wakes the poll at once on every change, and the
// watcher's stop at once as well.
constexpr int kPollMilliseconds = 200;

// The kernel signals the mount table until it is read again from the start.
void Drain(int fd)
{
    char buffer[4096];
    ::lseek(fd, 0, SEEK_SET);
    while (::read(fd, buffer, sizeof buffer) > 0) {}
}

} // namespace

DWORD PresentDriveMask(VolumeTable& table)
{
    DWORD mask = 0;
    for (const Volume& volume : table.Volumes())
        mask |= DWORD{1} << (volume.letter - L'A');
    return mask;
}

struct VolumeWatcher::State {
    // Spelled out: clang before 16 does not build aggregates from parentheses.
    State(VolumeTable& watched, Callback onChange) : table(watched), callback(std::move(onChange)) {}

    VolumeTable& table;
    Callback callback;
    DWORD present = 0; // read before the thread starts, so no change is missed

    void Run(const std::stop_token& stop)
    {
        // POLLPRI on the mount table wakes on every mount and unmount; the stop writes to `wake`.
        const FileDescriptor mountTable(
            table.UsesVolumeMap() ? -1 : ::open(table.WatchedFile().c_str(), O_RDONLY | O_CLOEXEC));
        const StopWake wake(stop);
        while (!stop.stop_requested()) {
            pollfd fds[2] = {{wake.get(), POLLIN, 0}, {mountTable.get(), POLLPRI, 0}};
            if (::poll(fds, 2, kPollMilliseconds) > 0 && (fds[1].revents & POLLPRI) != 0)
                Drain(mountTable.get());
            if (stop.stop_requested())
                break;
            const DWORD now = PresentDriveMask(table);
            if (now != present) {
                callback(now & ~present, present & ~now);
                present = now;
            }
        }
    }
};

VolumeWatcher::VolumeWatcher(VolumeTable& table, Callback callback)
    : m_state(std::make_unique<State>(table, std::move(callback)))
{
    m_state->present = PresentDriveMask(table);
    m_thread = std::jthread([state = m_state.get()](std::stop_token stop) { state->Run(stop); });
}

VolumeWatcher::~VolumeWatcher() = default; // the thread is stopped and joined before the state goes

} // namespace platform
