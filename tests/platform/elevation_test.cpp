// Elevation through pkexec: the command line, what the environment passes on, and what
// happens when pkexec runs the program, refuses, or is missing (a stand-in pkexec on PATH).
#include "platform/elevation.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace {

namespace fs = std::filesystem;

class ElevationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("elevation-test-" + std::to_string(getpid()));
        fs::create_directories(m_dir);
        if (const char* path = std::getenv("PATH"))
            m_savedPath = path;
        setenv("PATH", m_dir.c_str(), 1);
    }
    void TearDown() override
    {
        setenv("PATH", m_savedPath.c_str(), 1);
        fs::remove_all(m_dir);
    }

    // A pkexec that runs its command (as pkexec does once authorised) or exits with `code`.
    void FakePkexec(const std::string& body)
    {
        const fs::path script = m_dir / "pkexec";
        std::ofstream(script) << "#!/bin/sh\n" << body << "\n";
        fs::permissions(script, fs::perms::owner_all);
    }

    fs::path m_dir;
    std::string m_savedPath;
};

TEST_F(ElevationTest, CommandLineFromEachPlaceAndWhatPassesOn)
{
    const std::map<std::string, std::string> variables{{"DISPLAY", ":1"}, {"WAYLAND_DISPLAY", "wayland-0"},
        {"XDG_RUNTIME_DIR", "/nonexistent/run/user/1000"}, {"XAUTHORITY", "/x/auth"}, {"LANG", "zh_CN.UTF-8"},
        {"PATH", "/usr/bin"}, {"QT_QPA_PLATFORM", "xcb"}, {"INSTALLER_VOLUME_MAP", "/tmp/map"},
        {"INSTALLER_DEBUG_OUTPUT", "/etc/x"}, {"HOME", "/home/u"}};
    const auto lookup = [&](const char* name) -> const char* {
        const auto found = variables.find(name);
        return found == variables.end() ? nullptr : found->second.c_str();
    };
    // The display and the locale, never the program's settings nor the runtime folder (the
    // Wayland socket named there does not exist).
    const auto passed = platform::EnvironmentToPassOn(lookup);
    EXPECT_EQ(passed,
        (std::vector<std::string>{"DISPLAY=:1", "XAUTHORITY=/x/auth", "LANG=zh_CN.UTF-8", "QT_QPA_PLATFORM=xcb"}));

    // Installed: pkexec runs the program itself, so polkit picks the package's action.
    EXPECT_EQ(platform::ElevatedCommandLine(platform::ElevationRoute::InstalledAction,
                  "/usr/bin/kelvo-courseware-installer", {"--package-key", "a b"}, {"DISPLAY=:1"}),
        (std::vector<std::string>{"pkexec", "/usr/bin/kelvo-courseware-installer", "--package-key", "a b"}));
    // Elsewhere (a build tree): through env, which carries the display.
    EXPECT_EQ(platform::ElevatedCommandLine(platform::ElevationRoute::Env, "/src/build/app/installer", {"--unattended"},
                  {"DISPLAY=:1", "LANG=zh_CN.UTF-8"}),
        (std::vector<std::string>{
            "pkexec", "env", "DISPLAY=:1", "LANG=zh_CN.UTF-8", "/src/build/app/installer", "--unattended"}));
}

TEST_F(ElevationTest, OnlyTheInstalledProgramWithItsActionInPlaceGoesThroughTheAction)
{
    const std::string action = (m_dir / "action.policy").string();
    const platform::InstalledPlace installed{"/usr/bin/kelvo-courseware-installer", action};
    EXPECT_EQ(platform::RouteFor(installed.program, installed), platform::ElevationRoute::Env); // no action file
    std::ofstream(action) << "<policyconfig/>";
    EXPECT_EQ(platform::RouteFor(installed.program, installed), platform::ElevationRoute::InstalledAction);
    EXPECT_EQ(platform::RouteFor("/src/build/app/installer", installed), platform::ElevationRoute::Env);
    EXPECT_EQ(platform::RouteFor("/src/build/app/installer", {}), platform::ElevationRoute::Env);
}

// QT_QPA_PLATFORM crosses only as one of three window systems; the Wayland socket only from a
// folder of the caller's own, as its full path.
TEST_F(ElevationTest, OnlyAKnownWindowSystemAndTheCallersOwnWaylandSocketCross)
{
    const fs::path runtime = m_dir / "runtime";
    fs::create_directory(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    const std::string socket = (runtime / "wayland-0").string();
    sockaddr_un address{AF_UNIX, {}};
    socket.copy(address.sun_path, sizeof address.sun_path - 1);
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(listener);
    fs::create_directory_symlink(runtime, m_dir / "link");

    std::map<std::string, std::string> variables;
    const auto passed = [&] {
        return platform::EnvironmentToPassOn([&](const char* name) -> const char* {
            const auto found = variables.find(name);
            return found == variables.end() ? nullptr : found->second.c_str();
        });
    };
    using Passed = std::vector<std::string>;
    for (const auto& [value, crosses] : std::map<std::string, bool>{{"xcb", true}, {"wayland", true},
             {"offscreen", true}, {"xcb:display=:9", false}, {"minimal", false}, {"/tmp/libevil.so", false}}) {
        variables = {{"QT_QPA_PLATFORM", value}};
        EXPECT_EQ(passed(), crosses ? Passed{"QT_QPA_PLATFORM=" + value} : Passed{}) << value;
    }
    const Passed wayland{"WAYLAND_DISPLAY=" + socket};
    variables = {{"WAYLAND_DISPLAY", "wayland-0"}, {"XDG_RUNTIME_DIR", runtime.string()}};
    EXPECT_EQ(passed(), wayland);
    variables = {{"WAYLAND_DISPLAY", "../runtime/wayland-0"}, {"XDG_RUNTIME_DIR", runtime.string()}};
    EXPECT_EQ(passed(), Passed{});
    variables = {{"WAYLAND_DISPLAY", (m_dir / "link" / "wayland-0").string()}};
    EXPECT_EQ(passed(), Passed{});
    variables = {{"WAYLAND_DISPLAY", socket}};
    EXPECT_EQ(passed(), wayland);
    fs::permissions(runtime, fs::perms::all);
    EXPECT_EQ(passed(), Passed{});
    if (geteuid() == 0) {
        fs::permissions(runtime, fs::perms::owner_all);
        ASSERT_EQ(::chown(runtime.c_str(), 65534, 65534), 0);
        EXPECT_EQ(passed(), Passed{});
    }
}

TEST_F(ElevationTest, XauthorityFallsBackToTheUsersCookie)
{
    std::ofstream(m_dir / ".Xauthority") << "cookie";
    const std::string home = m_dir.string();
    const auto lookup = [&](const char* name) -> const char* {
        if (std::string(name) == "DISPLAY")
            return ":0";
        if (std::string(name) == "HOME")
            return home.c_str();
        return nullptr;
    };
    const auto passed = platform::EnvironmentToPassOn(lookup);
    EXPECT_EQ(passed, (std::vector<std::string>{"DISPLAY=:0", "XAUTHORITY=" + home + "/.Xauthority"}));
}

TEST_F(ElevationTest, TheElevatedRunsExitCodeComesBack)
{
    FakePkexec("exec \"$@\"");
    const fs::path seen = m_dir / "seen";
    const auto line = platform::ElevatedCommandLine(platform::ElevationRoute::Env, "/bin/sh",
        {"-c", "echo \"$DISPLAY $1\" > '" + seen.string() + "'; exit 5", "sh", "arg"}, {"DISPLAY=:7"});
    setenv("PATH", (m_dir.string() + ":/usr/bin:/bin").c_str(), 1);
    EXPECT_EQ(platform::RunElevated(line), 5);
    std::ifstream in(seen);
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, ":7 arg");
}

TEST_F(ElevationTest, RefusalOrMissingPkexecIsExplainedAndStopsTheProgram)
{
    for (const char* refusal : {"exit 126", "exit 127"}) {
        FakePkexec(refusal);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(platform::RunElevated({"pkexec", "env", "/bin/true"}), platform::kElevationUnavailableExitCode);
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("管理员权限"), std::string::npos) << refusal;
        EXPECT_NE(said.find("Administrator rights were not granted"), std::string::npos) << refusal;
    }

    fs::remove(m_dir / "pkexec");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(platform::RunElevated({"pkexec", "env", "/bin/true"}), platform::kElevationUnavailableExitCode);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("pkexec"), std::string::npos);
    EXPECT_NE(said.find("not installed"), std::string::npos);
}

TEST_F(ElevationTest, RootGoesOnWithoutElevating)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs to run as root";
    EXPECT_EQ(platform::EnsureElevated({}, {}), std::nullopt);
}

} // namespace
