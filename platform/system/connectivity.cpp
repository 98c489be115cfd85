#include "platform/connectivity.h"

#include <systemd/sd-bus.h>

#include <cstdint>
#include <memory>

namespace platform {
namespace {

struct BusClose {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
using Bus = std::unique_ptr<sd_bus, BusClose>;

struct BusError {
    sd_bus_error value = SD_BUS_ERROR_NULL;
    BusError() = default;
    BusError(const BusError&) = delete;
    BusError& operator=(const BusError&) = delete;
    ~BusError() { sd_bus_error_free(&value); }
};

constexpr std::uint64_t kCallTimeoutUsec = 3'000'000;

// NMState values of NetworkManager's D-Bus interface.
constexpr std::uint32_t kNmStateUnknown = 0;
constexpr std::uint32_t kNmStateAsleep = 10;
constexpr std::uint32_t kNmStateConnectedSite = 60;
constexpr std::uint32_t kNmStateConnectedGlobal = 70;

NetworkConnectivity FromNmState(std::uint32_t state)
{
    if (state == kNmStateConnectedGlobal) {
        return NetworkConnectivity::Online;
    }
    if (state >= kNmStateAsleep && state <= kNmStateConnectedSite) {
        return NetworkConnectivity::Offline;
    }
    // NM_STATE_UNKNOWN, or a value newer than this code.
    return NetworkConnectivity::Unknown;
}

} // namespace

NetworkConnectivity QueryNetworkConnectivity()
{
    sd_bus* rawBus = nullptr;
    if (sd_bus_open_system(&rawBus) < 0) {
        return NetworkConnectivity::Unknown;
    }
    const Bus bus(rawBus);
    sd_bus_set_method_call_timeout(bus.get(), kCallTimeoutUsec);

    BusError error;
    std::uint32_t state = kNmStateUnknown;
    const int result = sd_bus_get_property_trivial(bus.get(), "org.freedesktop.NetworkManager",
        "/org/freedesktop/NetworkManager", "org.freedesktop.NetworkManager", "State", &error.value, 'u', &state);
    if (result < 0) {
        return NetworkConnectivity::Unknown;
    }
    return FromNmState(state);
}

} // namespace platform
