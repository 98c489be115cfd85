#include "net/http_request.h"
#include "net_test_support.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace {

// tests/support/network_manager_bus.py: a private system bus, with NetworkManager in the
// given global state, or with no NetworkManager at all.
ScriptServer StartBus(std::optional<int> state)
{
    std::vector<std::string> argv{"/usr/bin/python3", SupportScript("network_manager_bus.py")};
    if (state) {
        argv.push_back("--state");
        argv.push_back(std::to_string(*state));
    }
    return ScriptServer(argv);
}

struct StateCase {
    const char* name;
    int nmState;
    bool connected;
};

void PrintTo(const StateCase& c, std::ostream* out) { *out << "State " << c.nmState; }

class NetworkManagerStateTest : public testing::TestWithParam<StateCase> {};

TEST_P(NetworkManagerStateTest, DecidesTheAnswer)
{
    const ScriptServer bus = StartBus(GetParam().nmState);
    const ScopedEnv address("DBUS_SYSTEM_BUS_ADDRESS", bus.ReadyValue());
    EXPECT_EQ(IsInternetConnected(), GetParam().connected);
}

INSTANTIATE_TEST_SUITE_P(States, NetworkManagerStateTest,
    testing::Values(StateCase{"ConnectedGlobal", 70, true}, StateCase{"ConnectedSite", 60, false},
        StateCase{"ConnectedLocal", 50, false}, StateCase{"Connecting", 40, false},
        StateCase{"Disconnected", 20, false}, StateCase{"Asleep", 10, false},
        // NetworkManager itself does not know: nothing says the machine is offline.
        StateCase{"Unknown", 0, true}),
    [](const testing::TestParamInfo<StateCase>& info) { return std::string(info.param.name); });

TEST(InternetConnectionTest, BusWithoutNetworkManagerCountsAsConnected)
{
    const ScriptServer bus = StartBus(std::nullopt);
    const ScopedEnv address("DBUS_SYSTEM_BUS_ADDRESS", bus.ReadyValue());
    EXPECT_TRUE(IsInternetConnected());
}

TEST(InternetConnectionTest, NoSystemBusCountsAsConnected)
{
    const TempDir dir;
    const ScopedEnv address("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (dir.Path() / "no-bus").string());
    EXPECT_TRUE(IsInternetConnected());
}

} // namespace
