#include "platform/connectivity.h"

#include "platform/system/system_bus.h"

#include <cstdint>

namespace platform {
namespace {

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
    const Bus bus = OpenSystemBus();
    if (!bus) {
        return NetworkConnectivity::Unknown;
    }
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
