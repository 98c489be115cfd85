// Station mode as its own process: stick folders from a volume map, the package on a loopback
// server that logs every request.
#include "file_bytes.h"
#include "lying_stick_mount.h"
#include "program_run.h"
#include "script_server.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

const std::string kKey = "DEMO-7-2026";
const std::string kArchive = "demo.zip";

std::size_t Count(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// The archive with one byte in the middle of its largest file's data changed.
std::string Damaged(std::string archive)
{
    archive[archive.size() / 2] = static_cast<char>(archive[archive.size() / 2] ^ 0x55);
    return archive;
}

class StationRunTest : public ::testing::Test {
protected:
    StationRunTest()
    {
        fs::create_directories(m_root / "disk");
        fs::create_directories(m_root / "cloud");
        for (const char* stick : {"e", "f", "g", "h", "small"})
            fs::create_directories(m_root / stick);
        EXPECT_EQ(std::system(("python3 " + std::string(INSTALLER_SOURCE_DIR) + "/app/demo/make_sample_package.py " +
                      (m_root / "cloud" / kArchive).string())
                                  .c_str()),
            0);
        m_server = std::make_unique<ScriptServer>(std::vector<std::string>{"/usr/bin/python3",
            std::string(INSTALLER_SOURCE_DIR) + "/tests/support/http_test_server.py", "--files",
            (m_root / "cloud").string(), "--request-log", Requests().string()});
    }

    void Drives(const std::string& lines) { std::ofstream(m_root / "volumes.map") << lines; }
    fs::path Requests() const { return m_root / "requests.log"; }
    bool Installed(const char* stick) const { return fs::exists(m_root / stick / "kelvoClient/启动课件.txt"); }

    // Without a bus address the program finds no system bus.
    std::unique_ptr<ProgramRun> Start(const std::vector<std::string>& extra, std::string busAddress = {})
    {
        if (busAddress.empty())
            busAddress = "unix:path=" + (m_root / "no-bus").string();
        const std::string url = "http://127.0.0.1:" + m_server->ReadyValue() + "/setup/";
        std::vector<std::string> arguments{"--station", "--package-key", kKey};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return std::make_unique<ProgramRun>(INSTALLER_EXE, arguments,
            std::vector<std::string>{"INSTALLER_VOLUME_MAP=" + (m_root / "volumes.map").string(),
                "INSTALLER_CLOUD_BASE_URL=" + url, "INSTALLER_CLOUD_BASE_URL_ALT=" + url,
                "INSTALLER_PROBE_ADDRESS=127.0.0.1:" + m_server->ReadyValue(),
                "DBUS_SYSTEM_BUS_ADDRESS=" + busAddress});
    }

    TempFolder m_temp{"station-run"};
    const fs::path m_root = m_temp.Path();
    std::unique_ptr<ScriptServer> m_server;
};

TEST_F(StationRunTest, EveryStickGetsThePackageFromOneDownloadAndASmallOneIsSkipped)
{
    const std::string atStart = "C fixed disk free=20G\nE removable e free=8G\nF removable f free=8G\n"
                                "G removable g free=8G\nI removable small free=4607M\n";
    Drives(atStart);
    const auto run = Start({"--count", "4"});
    ASSERT_TRUE(WaitUntil([&] { return Count(run->OutputSoFar(), "安装完成") == 3; })) << run->OutputSoFar();
    Drives(atStart + "H removable h free=8G\n"); // plugged in later
    const ProgramResult result = run->Wait();

    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    for (const char* stick : {"e", "f", "g", "h"})
        EXPECT_EQ(ReadFileBytes(m_root / stick / "kelvoClient/启动课件.txt"),
            "双击 kelvoClient 文件夹中的程序即可开始上课。\n")
            << stick;
    EXPECT_FALSE(Installed("small"));
    EXPECT_EQ(Count(result.out, "U盘空间不足4.5G，无法安装课件！"), 1u) << result.out; // not again at each scan
    EXPECT_EQ(Count(result.out, "安装完成"), 4u);
    EXPECT_NE(result.out.find("正在下载文件：100%"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("H: "), std::string::npos);
    EXPECT_EQ(Count(result.out, "正在写入文件100.00%"), 4u) << result.out;
    EXPECT_EQ(Count(result.out, "正在校验文件100.00%"), 4u) << result.out;
    EXPECT_EQ(Count(ReadFileBytes(Requests()), "GET /setup/" + kArchive), 1u) << ReadFileBytes(Requests());
}

TEST_F(StationRunTest, AnArchiveOnTheDiskIsUsedOnlyWhenItHasTheLengthAndReads)
{
    const std::string archive = ReadFileBytes(m_root / "cloud" / kArchive);
    const struct {
        std::string left;
        bool reused;
    } rows[] = {
        {archive, true}, {std::string(archive.size(), 'x'), false}, // the right length, no ZIP directory
        {archive.substr(0, archive.size() - 1), false},
        {Damaged(archive), false}, // the right length, its directory reads, a file's data does not
    };
    Drives("C fixed disk free=20G\nE removable e free=8G\n");
    for (const auto& row : rows) {
        fs::remove_all(m_root / "e" / "kelvoClient");
        fs::remove(Requests());
        fs::create_directories(m_root / "disk/kelvo");
        std::ofstream(m_root / "disk/kelvo" / kArchive, std::ios::binary) << row.left;
        fs::remove(m_root / "disk/kelvo" / (kArchive + ".record")); // no run's download made it
        const ProgramResult result = Start({"--count", "1"})->Wait();
        EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
        EXPECT_TRUE(Installed("e"));
        EXPECT_EQ(result.out.find("使用硬盘上已下载的课件") != std::string::npos, row.reused) << result.out;
        EXPECT_EQ(Count(ReadFileBytes(Requests()), "GET /setup/"), row.reused ? 0u : 1u) << row.left.size();
        EXPECT_EQ(ReadFileBytes(m_root / "disk/kelvo" / kArchive), archive);
    }
    // A link to the very archive is not a file the run made: it is not read, and goes.
    fs::remove(m_root / "disk/kelvo" / kArchive);
    fs::create_symlink(m_root / "cloud" / kArchive, m_root / "disk/kelvo" / kArchive);
    const ProgramResult result = Start({"--count", "1"})->Wait();
    EXPECT_EQ(result.out.find("使用硬盘上已下载的课件"), std::string::npos) << result.out;
    EXPECT_FALSE(fs::is_symlink(m_root / "disk/kelvo" / kArchive));
    EXPECT_EQ(ReadFileBytes(m_root / "cloud" / kArchive), archive);
}

// An archive over 2 GiB that a finished download's record vouches for is used as it is.
TEST_F(StationRunTest, AnArchiveOver2GiBWithTheRecordOfItsDownloadIsReused)
{
    const std::uint64_t size = 2'254'857'830; // 2.1 GiB
    const fs::path left = m_root / "disk/kelvo" / kArchive;
    fs::create_directories(left.parent_path());
    ASSERT_EQ(std::system(("python3 " + std::string(INSTALLER_SOURCE_DIR) + "/tests/support/sparse_zip64.py " +
                  left.string() + " " + std::to_string(size - 260))
                              .c_str()),
        0);
    ASSERT_EQ(fs::file_size(left), size);
    fs::remove(m_root / "cloud" / kArchive);
    fs::create_hard_link(left, m_root / "cloud" / kArchive);
    std::ofstream(left.string() + ".record") << "\"big\"\n" << size << "\n";
    m_server = std::make_unique<ScriptServer>(
        std::vector<std::string>{"/usr/bin/python3", SupportScript("http_test_server.py"), "--files",
            (m_root / "cloud").string(), "--request-log", Requests().string(), "--etag", "\"big\""});
    Drives("C fixed disk free=20G\n"); // no stick: the run waits once the archive is settled
    const auto run = Start({});
    ASSERT_TRUE(WaitUntil([&] { return Count(run->OutputSoFar(), "使用硬盘上已下载的课件") == 1; }))
        << run->OutputSoFar();
    run->Signal(SIGTERM);
    const ProgramResult result = run->Wait();
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(Count(ReadFileBytes(Requests()), "GET /setup/"), 0u) << ReadFileBytes(Requests());
}

TEST_F(StationRunTest, AWorkFolderOthersCouldChangeIsRefusedWithTwoBeforeAnyDownload)
{
    const fs::path work = m_root / "disk/kelvo";
    const fs::path elsewhere = m_root / "elsewhere";
    Drives("C fixed disk free=20G\nE removable e free=8G\n");
    for (const bool link : {true, false}) {
        fs::remove_all(work);
        fs::create_directory(elsewhere);
        if (link) {
            fs::create_directory_symlink(elsewhere, work);
        } else {
            fs::create_directory(work);
            fs::permissions(work, fs::perms::others_write, fs::perm_options::add);
        }
        const ProgramResult result = Start({"--count", "1"})->Wait();
        EXPECT_EQ(result.exitCode, 2) << link;
        EXPECT_EQ(result.err.substr(result.err.find("下载文件夹")),
            std::string("下载文件夹“C:\\kelvo”不安全（") + (link ? "它是一个链接" : "其他用户也可以写入") +
                "），安装终止。\n");
        EXPECT_TRUE(fs::is_empty(elsewhere));
        EXPECT_EQ(Count(ReadFileBytes(Requests()), "GET /setup/"), 0u);
        EXPECT_FALSE(Installed("e"));
    }
}

TEST_F(StationRunTest, RefusalsOfTheHardDiskSideEndWithTwoAndTermEndsTheRun)
{
    for (const std::vector<std::string>& arguments :
        {std::vector<std::string>{"--count", "0"}, {"--count", "2x"}, {"--unattended"}}) {
        const ProgramResult refused = Start(arguments)->Wait();
        EXPECT_EQ(refused.exitCode, 2) << arguments.at(0);
        EXPECT_NE(refused.err.find("Try 'installer --help'."), std::string::npos) << refused.err;
    }
    Drives("C fixed disk free=4607M\nE removable e free=8G\n");
    ProgramResult result = Start({})->Wait();
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "硬盘空间不足4.5G，无法下载！\n");
    EXPECT_FALSE(Installed("e"));

    Drives("C fixed disk free=20G\nE removable e free=8G\n");
    const auto run = Start({});
    ASSERT_TRUE(WaitUntil([&] { return Count(run->OutputSoFar(), "安装完成") == 1; })) << run->OutputSoFar();
    run->Signal(SIGTERM);
    result = run->Wait();
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("共1个U盘，成功1个"), std::string::npos) << result.out;
}

TEST_F(StationRunTest, AStickPulledMidwayFailsAloneWhileTheOtherFinishes)
{
    if (const std::string why = LyingStickMount::Unavailable(); !why.empty())
        GTEST_SKIP() << why;
    // The lying stick's file system ends once 1 MiB has been read back from it.
    const LyingStickMount pulled(m_root / "flash", m_root / "e", {"--pull-after-read", "1048576"});
    Drives("C fixed disk free=20G\nE removable e free=8G\nF removable f free=8G\n");
    const ProgramResult result = Start({"--count", "2"})->Wait();
    EXPECT_EQ(result.exitCode, 1) << result.out << result.err;
    EXPECT_NE(result.out.find("E: 检测到课件U盘已拔出，安装终止。"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("F: 安装完成"), std::string::npos) << result.out;
    EXPECT_TRUE(Installed("f"));
    EXPECT_NE(result.out.find("共2个U盘，成功1个"), std::string::npos) << result.out;
}

TEST_F(StationRunTest, TermStopsASlowStickMidwayAndRemovesTheFileBeingWritten)
{
    if (const std::string why = LyingStickMount::Unavailable(); !why.empty())
        GTEST_SKIP() << why;
    const LyingStickMount slow(m_root / "flash", m_root / "e", {"--write-delay", "0.2"});
    Drives("C fixed disk free=20G\nE removable e free=8G\n");
    const auto run = Start({});
    // Past the first ten percent: the large file is being written.
    ASSERT_TRUE(WaitUntil([&] { return Count(run->OutputSoFar(), "E: 正在写入文件") >= 2; })) << run->OutputSoFar();
    run->Signal(SIGTERM);
    const ProgramResult result = run->Wait();
    EXPECT_EQ(result.exitCode, 1) << result.out << result.err;
    EXPECT_NE(result.out.find("E: 中断"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("共1个U盘，成功0个"), std::string::npos) << result.out;
    // The file being written was removed, or cut to no bytes where it cannot be (this FUSE stick
    // cannot remove a file still open): never left half written.
    const fs::path media = m_root / "flash/kelvoClient/media/课堂动画.bin";
    EXPECT_TRUE(!fs::exists(media) || fs::file_size(media) == 0) << result.out;
}

TEST_F(StationRunTest, EjectUnmountsThenPowersOffAndSaysWhenAStickCannotBeEjected)
{
    Drives("C fixed disk free=20G\nE removable e free=8G\nF removable f free=8G\n");
    const fs::path calls = m_root / "calls.log";
    {
        // udisks2 knows E's folder as a mounted file system; F's is only a volume-map folder.
        const ScriptServer udisks({"/usr/bin/python3", SupportScript("udisks_bus.py"), "--mount-point",
            (m_root / "e").string(), "--call-log", calls.string()});
        const ProgramResult result = Start({"--count", "2", "--eject"}, udisks.ReadyValue())->Wait();
        EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
        EXPECT_NE(result.out.find("E: 安装完成，U盘已弹出，可以拔下。"), std::string::npos) << result.out;
        EXPECT_NE(result.out.find("F: 安装完成，卷映射中的U盘无法弹出。"), std::string::npos) << result.out;
    }
    EXPECT_EQ(ReadFileBytes(calls),
        "Unmount /org/freedesktop/UDisks2/block_devices/sdb1\n"
        "PowerOff /org/freedesktop/UDisks2/drives/Stick\n");

    Drives("C fixed disk free=20G\nE removable e free=8G\n");
    const ProgramResult noService = Start({"--count", "1", "--eject"})->Wait();
    EXPECT_EQ(noService.exitCode, 0) << noService.err;
    EXPECT_NE(noService.out.find("E: 安装完成，U盘已安全写入，可以拔下，但未能弹出。"), std::string::npos)
        << noService.out;
}

} // namespace
