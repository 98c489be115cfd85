// The stick writer on real folders: what it writes, and each way a write is refused, with what
// the failure says and the system's reason.
#include "extraction/stick_writer.h"
#include "scratch_mount.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using extraction::StickWriter;

namespace {

const platform::FileTime kTime{1'600'000'000, 0};

platform::FolderHandle OpenRoot(const fs::path& path) { return platform::FolderHandle::OpenExisting(path).Value(); }

std::string ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(StickWriter, WritesFoldersAndFilesAndClosesFoldersLast)
{
    const TempFolder stick("stick-writer");
    const platform::FolderHandle root = OpenRoot(stick.Path());
    StickWriter writer(root);
    ASSERT_TRUE(writer.MakeFolder({"kelvo", "shut"}, 0555, kTime));
    ASSERT_TRUE(writer.BeginFile({"kelvo", "shut", "a.bin"}, 0644));
    // A gap before a block is written as zeros.
    ASSERT_TRUE(writer.WriteBlock("head", 4, 0));
    ASSERT_TRUE(writer.WriteBlock("tail", 4, 10));
    ASSERT_TRUE(writer.FinishFile(kTime));
    ASSERT_TRUE(writer.Finish());

    const std::string expected = std::string("head") + std::string(6, '\0') + "tail";
    EXPECT_EQ(ReadBytes(stick / "kelvo/shut/a.bin"), expected);
    ASSERT_EQ(writer.WrittenFiles().size(), 1u);
    const WrittenFile& written = writer.WrittenFiles()[0];
    EXPECT_EQ(written.path, "kelvo/shut/a.bin");
    EXPECT_EQ(written.size, expected.size());
    EXPECT_EQ(written.crc32, crc32(0, reinterpret_cast<const Bytef*>(expected.data()), 14));
    // The folder closed to writing was closed only after its file was in it.
    EXPECT_EQ(fs::status(stick / "kelvo/shut").permissions() & fs::perms::all, fs::perms(0555));
    EXPECT_EQ(fs::last_write_time(stick / "kelvo/shut").time_since_epoch().count() != 0, true);
}

TEST(StickWriter, EachRefusalSaysWhatAndWhy)
{
    const struct {
        const char* name;
        std::function<void(const fs::path&)> prepare;
        std::function<platform::Result<void>(StickWriter&)> write;
        std::string says;
        std::vector<int> codes; // the system's reason; either one where kernels differ
    } cases[] = {
        {"a file where a folder goes", [](const fs::path& r) { std::ofstream(r / "kelvo"); },
            [](StickWriter& w) {
                return w.MakeFolder({"kelvo", "sub"}, 0755, kTime);
            },
            "cannot make the folder \"kelvo\"", {ENOTDIR}},
        {"a link where a folder goes",
            [](const fs::path& r) {
                fs::create_directory(r / "elsewhere");
                fs::create_directory_symlink(r / "elsewhere", r / "kelvo");
            },
            [](StickWriter& w) {
                return w.BeginFile({"kelvo", "a.txt"}, 0644);
            },
            "cannot make the folder \"kelvo\"", {ENOTDIR, ELOOP}},
        {"a folder where the file goes", [](const fs::path& r) { fs::create_directory(r / "a.txt"); },
            [](StickWriter& w) { return w.BeginFile({"a.txt"}, 0644); }, "cannot create \"a.txt\"", {EISDIR}},
        {"bytes out of order", [](const fs::path&) {},
            [](StickWriter& w) {
                if (auto begun = w.BeginFile({"a.txt"}, 0644); !begun)
                    return begun;
                if (auto first = w.WriteBlock("0123456789", 10, 0); !first)
                    return first;
                return w.WriteBlock("5", 1, 5);
            },
            "cannot write \"a.txt\": the archive gave its bytes out of order", {0}},
    };
    for (const auto& c : cases) {
        const TempFolder stick("stick-writer");
        c.prepare(stick.Path());
        const platform::FolderHandle root = OpenRoot(stick.Path());
        StickWriter writer(root);
        const platform::Result<void> written = c.write(writer);
        ASSERT_FALSE(written) << c.name;
        EXPECT_EQ(written.Failure().context, c.says) << c.name;
        EXPECT_NE(std::find(c.codes.begin(), c.codes.end(), written.Failure().code), c.codes.end())
            << c.name << ": " << written.Failure().code;
        writer.AbandonFile();
        EXPECT_FALSE(fs::exists(stick / "elsewhere/a.txt")) << c.name;
    }
}

TEST(StickWriter, AFullStickIsTheSystemsReasonAndTheFileGoes)
{
    const TempFolder temp("stick-writer");
    const ScratchMount mount(ScratchMount::Kind::Tmpfs, temp / "stick", 256 * 1024);
    if (!mount.SkipReason().empty())
        GTEST_SKIP() << mount.SkipReason();
    const platform::FolderHandle root = OpenRoot(temp / "stick");
    StickWriter writer(root);
    ASSERT_TRUE(writer.BeginFile({"big.bin"}, 0644));
    const std::string block(64 * 1024, 'x');
    platform::Result<void> written;
    for (std::uint64_t offset = 0; written && offset < (1u << 20); offset += block.size())
        written = writer.WriteBlock(block.data(), block.size(), offset);
    ASSERT_FALSE(written);
    EXPECT_EQ(written.Failure().code, ENOSPC);
    EXPECT_EQ(written.Failure().context.rfind("cannot write \"big.bin\"", 0), 0u) << written.Failure().context;
    writer.AbandonFile();
    EXPECT_FALSE(fs::exists(temp / "stick/big.bin"));
    EXPECT_TRUE(writer.WrittenFiles().empty());
}

} // namespace
