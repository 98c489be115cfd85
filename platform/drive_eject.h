// Ejecting a stick: unmounting its file system and powering its drive off through udisks2, so it
// can be pulled at once.
#pragma once

#include <string>

namespace platform {

struct EjectResult {
    enum class Status {
        Ejected, // unmounted, and its drive powered off (or it has no drive of its own to power off)
        NotEjected, // udisks2 is not on the system bus, or it refused (the reason says which)
        NoDevice, // udisks2 knows no file system mounted at that folder
    };
    Status status = Status::NotEjected;
    std::string reason; // for NotEjected: the D-Bus error, for the debug output
};

// Asks udisks2 on the system bus (DBUS_SYSTEM_BUS_ADDRESS when set) to unmount the file system
// mounted at mountPoint, then to power off its drive. Never asks the user to authenticate. Blocks
// until both are done: unmounting writes out what the stick still holds in the cache.
EjectResult EjectMountedVolume(const std::string& mountPoint);

} // namespace platform
