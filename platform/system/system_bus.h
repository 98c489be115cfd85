// Owned sd-bus handles for the calls made on the system bus.
#pragma once

#include <systemd/sd-bus.h>

#include <memory>

namespace platform {

struct BusClose {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
using Bus = std::unique_ptr<sd_bus, BusClose>;

struct BusMessageUnref {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using BusMessage = std::unique_ptr<sd_bus_message, BusMessageUnref>;

struct BusError {
    sd_bus_error value = SD_BUS_ERROR_NULL;
    BusError() = default;
    BusError(const BusError&) = delete;
    BusError& operator=(const BusError&) = delete;
    ~BusError() { sd_bus_error_free(&value); }
};

// The system bus (DBUS_SYSTEM_BUS_ADDRESS when set), or null when there is none.
inline Bus OpenSystemBus()
{
    sd_bus* bus = nullptr;
    if (sd_bus_open_system(&bus) < 0)
        return nullptr;
    return Bus(bus);
}

} // namespace platform
