// Keeps the machine from sleeping, shutting down or going idle while a stick is written: a
// block inhibitor lock taken from logind on the system bus, held as long as the object lives.
#pragma once

#include "platform/system/file_descriptor.h"

#include <string>

namespace platform {

class SleepInhibitor {
public:
    SleepInhibitor() = default;
    // Asks logind to hold off "sleep:shutdown:idle" (mode "block") for `who` because of `why`.
    // Without a system bus or logind it holds nothing, and says so in one debug line.
    static SleepInhibitor Take(const std::string& who, const std::string& why);

    bool Held() const { return m_lock.IsOpen(); }
    // Lets the machine sleep again now (closing the lock's descriptor).
    void Release() { m_lock.Reset(); }

private:
    explicit SleepInhibitor(int lock) : m_lock(lock) {}
    FileDescriptor m_lock;
};

} // namespace platform
