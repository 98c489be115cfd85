#include "net/http_request.h"
#include "net_test_support.h"
#include "platform/sleep_inhibitor.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

bool WaitFor(const std::function<bool()>& condition)
{
    for (int i = 0; i < 250; ++i) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

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
    [](const testing::TestParamInfo<StateCase>& instance) { return std::string(instance.param.name); });

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

// ---- The logind inhibitor, on the same kind of private bus -----------------------------------

TEST(SleepInhibitorTest, HeldUntilReleasedAndNothingWithoutLogind)
{
    TempDir dir;
    const fs::path log = dir.Path() / "logind.log";
    const ScriptServer logind({"/usr/bin/python3", SupportScript("logind_bus.py"), "--log", log.string()});
    {
        const ScopedEnv address("DBUS_SYSTEM_BUS_ADDRESS", logind.ReadyValue());
        platform::SleepInhibitor held = platform::SleepInhibitor::Take("installer", "正在安装课件");
        EXPECT_TRUE(held.Held());
        EXPECT_TRUE(WaitFor([&] { return ReadFileBytes(log).ends_with("held 1\n"); })) << ReadFileBytes(log);
        held.Release();
        EXPECT_TRUE(WaitFor([&] { return ReadFileBytes(log).ends_with("held 0\n"); })) << ReadFileBytes(log);
    }
    const ScopedEnv noBus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (dir.Path() / "none").string());
    EXPECT_FALSE(platform::SleepInhibitor::Take("installer", "正在安装课件").Held());
}
