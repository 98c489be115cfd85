// The system's own view of the network connection, as the network manager reports it.
#pragma once

namespace platform {

enum class NetworkConnectivity {
    Online, // the network manager reports a connection to the Internet
    Offline, // it reports none (asleep, disconnected, connecting, or local/site only)
    Unknown, // no system bus, no network manager, an error, or a state it cannot judge
};

// Asks NetworkManager on the system bus (DBUS_SYSTEM_BUS_ADDRESS when set) for its global
// state. Blocks for at most a few seconds.
NetworkConnectivity QueryNetworkConnectivity();

} // namespace platform
