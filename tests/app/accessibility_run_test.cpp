// The installer through a real screen reader's path: Qt's AT-SPI bridge on an accessibility
// bus of a private D-Bus session, an X server of its own (Xvfb), the demo driven by pyatspi.
#include "program_run.h"

#include <gtest/gtest.h>

#include <filesystem>

TEST(AccessibilityRunTest, AScreenReaderFindsStartAndPressesItThroughTheInstallation)
{
    if (!std::filesystem::exists("/usr/bin/dbus-run-session"))
        GTEST_SKIP() << "dbus-run-session is not installed";
    ProgramRun run("/usr/bin/dbus-run-session",
        {"--", "/usr/bin/python3", INSTALLER_TEST_SUPPORT_DIR "/atspi_press.py", "--installer", INSTALLER_EXE}, {});
    const ProgramResult result = run.Wait(std::chrono::seconds(120));
    if (result.exitCode == 77)
        GTEST_SKIP() << result.out;
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("found: frame '课件安装工具' > push button '开始安装'"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("installer ended with 0"), std::string::npos) << result.out;
}
