// The work folder on the real disk: which folders are refused and why, and which part of an
// earlier download is gone on with.
#include "session/work_folder.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

namespace fs = std::filesystem;

namespace {

// "\tmp\x\kelvo\": the rooted path of a native folder.
std::string RootedPath(const fs::path& native)
{
    std::string path = native.string() + "/";
    for (char& c : path)
        c = c == '/' ? '\\' : c;
    return path;
}

void WriteBytes(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::string ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(MakeWorkFolder, MakesMissingFoldersAndRefusesWhatIsUnsafe)
{
    const struct {
        const char* name;
        std::function<void(const fs::path&)> prepare; // on the folder's path
        WorkFolderProblem problem; // None with ok: made and used
        bool ok;
    } cases[] = {
        {"missing, with a missing parent", [](const fs::path&) {}, WorkFolderProblem::None, true},
        {"a link",
            [](const fs::path& p) {
                fs::create_directories(p.parent_path() / "real");
                fs::create_directory_symlink(p.parent_path() / "real", p);
            },
            WorkFolderProblem::Link, false},
        {"a file",
            [](const fs::path& p) {
                fs::create_directories(p.parent_path());
                std::ofstream(p.string());
            },
            WorkFolderProblem::NotAFolder, false},
        {"writable by others",
            [](const fs::path& p) {
                fs::create_directories(p);
                fs::permissions(p, fs::perms(0777));
            },
            WorkFolderProblem::WritableByOthers, false},
        {"owned by another user",
            [](const fs::path& p) {
                fs::create_directories(p);
                ASSERT_EQ(::chown(p.c_str(), 4321, 4321), 0);
            },
            WorkFolderProblem::NotOwnedByAdministrator, false},
    };
    const mode_t mask = ::umask(022);
    for (const auto& c : cases) {
        const TempFolder temp("work-folder");
        const fs::path folder = temp / "parent" / "kelvo";
        c.prepare(folder);
        const auto made = MakeWorkFolder(RootedPath(folder));
        ASSERT_EQ(made.Ok(), c.ok) << c.name << ": " << (made ? "" : made.Failure().error.Text());
        if (made)
            EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms(0755)) << c.name;
        else
            EXPECT_EQ(made.Failure().problem, c.problem) << c.name << ": " << made.Failure().error.Text();
    }
    ::umask(mask);
}

TEST(OpenPartialDownload, GoesOnOnlyWithBytesOfTheProbedVersion)
{
    const RemoteVersion probed{"\"v1\"", 10};
    const struct {
        const char* name;
        const char* part; // nullptr: no part
        const char* record; // the part's record; nullptr: none
        RemoteVersion asked;
        std::uint64_t offset; // where the download goes on
    } cases[] = {
        {"the same version", "01234", "\"v1\"\n10\n", probed, 5},
        {"another validator", "01234", "\"v0\"\n10\n", probed, 0},
        {"another length", "01234", "\"v1\"\n11\n", probed, 0},
        {"no record", "01234", nullptr, probed, 0},
        {"a part longer than the file", "0123456789AB", "\"v1\"\n10\n", probed, 0},
        {"nothing probed", "01234", "\"v1\"\n10\n", RemoteVersion{"", 10}, 0},
        {"no part", nullptr, nullptr, probed, 0},
    };
    for (const auto& c : cases) {
        const TempFolder temp("work-folder");
        fs::create_directories(temp / "kelvo");
        if (c.part)
            WriteBytes(temp / "kelvo/p.zip.part", c.part);
        if (c.record)
            WriteBytes(temp / "kelvo/p.zip.part.record", c.record);
        WriteBytes(temp / "kelvo/p.zip", "an old archive");
        WriteBytes(temp / "kelvo/p.zip.record", "\"v0\"\n14\n");
        auto folder = MakeWorkFolder(RootedPath(temp / "kelvo"));
        ASSERT_TRUE(folder) << folder.Failure().error.Text();
        if (!folder->TrustsWhatItHolds())
            GTEST_SKIP() << "the temporary folder lies on a file system not the system's";

        auto partial = folder->OpenPartialDownload("p.zip", c.asked);
        ASSERT_TRUE(partial) << c.name << ": " << partial.Failure().Text();
        EXPECT_EQ(partial->offset, c.offset) << c.name;
        ASSERT_TRUE(partial->file.Write("+", 1)) << c.name;
        ASSERT_TRUE(partial->file.Close()) << c.name;
        const std::string kept = c.offset > 0 ? std::string(c.part) : "";
        EXPECT_EQ(ReadBytes(temp / "kelvo/p.zip.part"), kept + "+") << c.name;
        // The archive and its record are gone; a record stays only with the bytes it names.
        EXPECT_FALSE(fs::exists(temp / "kelvo/p.zip")) << c.name;
        EXPECT_FALSE(fs::exists(temp / "kelvo/p.zip.record")) << c.name;
        EXPECT_EQ(fs::exists(temp / "kelvo/p.zip.part.record"), c.offset > 0) << c.name;
    }
}

TEST(OpenPartialDownload, ARecordThatCannotBeRemovedFailsTheDownload)
{
    // A record left behind would vouch for the new part's bytes as the old version's.
    const TempFolder temp("work-folder");
    fs::create_directories(temp / "kelvo/p.zip.part.record/inside");
    auto folder = MakeWorkFolder(RootedPath(temp / "kelvo"));
    ASSERT_TRUE(folder) << folder.Failure().error.Text();
    const auto partial = folder->OpenPartialDownload("p.zip", RemoteVersion{"\"v1\"", 10});
    ASSERT_FALSE(partial);
    EXPECT_NE(partial.Failure().Text().find("p.zip.part.record"), std::string::npos) << partial.Failure().Text();
}

} // namespace
