// `installer --drives` and the volume map's errors, through the real executable.
#include "volume_map_fixture.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <sys/wait.h>

namespace {

struct ProgramRun {
    int exitCode;
    std::string output;
};

ProgramRun RunInstaller(const std::string& arguments)
{
    const std::string command = std::string(INSTALLER_EXE) + " " + arguments + " 2>&1";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    std::string output;
    std::array<char, 4096> buffer{};
    while (const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe))
        output.append(buffer.data(), n);
    const int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

TEST(DriveReport, ListsEveryLetterWithAVolumeThenTheDownloadDisk)
{
    VolumeMapFixture fixture;
    const auto c = fixture.Folder("c"), d = fixture.Folder("d"), e = fixture.Folder("e"), g = fixture.Folder("g");
    fixture.Write("C fixed " + c.string() + " free=10G\n" + "D fixed " + d.string() + " free=50.5G\n" + "E removable " +
        e.string() + " free=12.34G\n" + "G cdrom " + g.string() + " free=0\n" + "H removable " +
        (fixture.Dir() / "gone").string() + "\n");
    const ProgramRun run = RunInstaller("--drives");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output,
        "C:\tDriver c Of Type:Hard Disk.\t10.00 G\t" + c.string() + "\n" +
            "D:\tDriver d Of Type:Hard Disk.\t50.50 G\t" + d.string() + "\n" +
            "E:\tDriver e Of Type:Removable Disk.\t12.33 G\t" + e.string() + "\n" +
            "G:\tDriver g Of Type:CD.\t0.0 G\t" + g.string() + "\n" + "download disk: D:\n");
}

TEST(DriveReport, ABadVolumeMapStopsTheProgramWithItsLine)
{
    VolumeMapFixture fixture;
    fixture.Write("# drives\nC fixed /tmp\nE stick /tmp\n");
    const ProgramRun run = RunInstaller("--drives");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.output,
        "installer: volume map: " + fixture.MapFile().string() +
            ":3: unknown drive type \"stick\" (removable, fixed, remote, cdrom, ramdisk or unknown)\n");
}

TEST(CommandLine, VersionHelpAndUnknownOptions)
{
    EXPECT_EQ(RunInstaller("--version").output, "1.0.0.1\n");
    const ProgramRun help = RunInstaller("--help");
    EXPECT_EQ(help.exitCode, 0);
    for (const char* word : {"--drives", "--demo", "--unattended", "--package-key", "--render-skin",
             "INSTALLER_VOLUME_MAP", "INSTALLER_CLOUD_BASE_URL", "INSTALLER_PROBE_ADDRESS", "INSTALLER_CA_BUNDLE"})
        EXPECT_NE(help.output.find(word), std::string::npos) << word;
    const ProgramRun wrong = RunInstaller("--frobnicate");
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_NE(wrong.output.find("unknown option: --frobnicate"), std::string::npos);
}

} // namespace
