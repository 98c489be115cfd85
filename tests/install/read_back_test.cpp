// Reading written files back: checksums as the writer keeps them, files on a real disk
// damaged after the fact, and what the read-back says about each.
#include "install/block_checksum.h"
#include "install/read_back.h"

#include "temp_folder.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <functional>

namespace fs = std::filesystem;

namespace {

std::string Pattern(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 131 + i / 4099) & 0xFF);
    return bytes;
}

// Writes the file and returns what the writer would have kept for it, the bytes given in
// uneven pieces as an archive hands them over.
WrittenFile Write(const fs::path& root, const std::string& path, const std::string& bytes)
{
    fs::create_directories((root / path).parent_path());
    std::ofstream(root / path, std::ios::binary) << bytes;
    BlockChecksum checksum;
    for (std::size_t at = 0; at < bytes.size(); at += 300007)
        checksum.Add(bytes.data() + at, std::min<std::size_t>(300007, bytes.size() - at));
    return {path, checksum.Size(), checksum.Crc32(), checksum.Blocks()};
}

struct DamageCase {
    const char* name;
    std::function<void(const fs::path& root)> damage;
    ReadBackOutcome::Status status;
    std::string diagnostic; // a part of the line
};

void PrintTo(const DamageCase& c, std::ostream* out) { *out << c.name; }

class ReadBack : public ::testing::TestWithParam<DamageCase> {};

const std::size_t kBig = 3 * kChecksumBlockSize + 100;

TEST_P(ReadBack, FindsTheFirstDifference)
{
    const TempFolder root("read-back");
    const std::string big = Pattern(kBig);
    const std::vector<WrittenFile> files{
        Write(root.Path(), "a/大文件.bin", big), Write(root.Path(), "b.txt", "hello"), Write(root.Path(), "empty", "")};
    EXPECT_EQ(files[0].crc32, crc32(0, reinterpret_cast<const Bytef*>(big.data()), static_cast<uInt>(big.size())));
    EXPECT_EQ(files[0].blockCrc32.size(), 4u);

    GetParam().damage(root.Path());
    int error = 0;
    const platform::FolderHandle stick = platform::FolderHandle::OpenExisting(root.Path().string(), error);
    ASSERT_TRUE(stick.IsOpen());
    std::uint64_t lastDone = 0, lastTotal = 0;
    const ReadBackOutcome outcome = VerifyWrittenFiles(stick, files, [&](std::uint64_t done, std::uint64_t total) {
        EXPECT_GE(done, lastDone);
        lastDone = done;
        lastTotal = total;
    });

    EXPECT_EQ(outcome.status, GetParam().status);
    EXPECT_NE(outcome.diagnostic.find(GetParam().diagnostic), std::string::npos) << outcome.diagnostic;
    EXPECT_EQ(lastTotal, kBig + 5);
    if (outcome.status == ReadBackOutcome::Status::Verified) {
        EXPECT_EQ(lastDone, lastTotal);
    }
}

void FlipByte(const fs::path& file, std::uint64_t offset)
{
    std::fstream stream(file, std::ios::in | std::ios::out | std::ios::binary);
    stream.seekg(static_cast<std::streamoff>(offset));
    const char byte = static_cast<char>(stream.get() ^ 0x01);
    stream.seekp(static_cast<std::streamoff>(offset));
    stream.put(byte);
}

INSTANTIATE_TEST_SUITE_P(Files, ReadBack,
    ::testing::Values(DamageCase{"Intact", [](const fs::path&) {}, ReadBackOutcome::Status::Verified, ""},
        DamageCase{"ByteFlipped", [](const fs::path& r) { FlipByte(r / "a/大文件.bin", 2 * kChecksumBlockSize + 7); },
            ReadBackOutcome::Status::Differs,
            "\"a/大文件.bin\" differs from what was written, first differing block at offset 2097152"},
        DamageCase{"LastByteFlipped", [](const fs::path& r) { FlipByte(r / "a/大文件.bin", kBig - 1); },
            ReadBackOutcome::Status::Differs, "block at offset 3145728"},
        DamageCase{"Short", [](const fs::path& r) { fs::resize_file(r / "a/大文件.bin", kChecksumBlockSize + 10); },
            ReadBackOutcome::Status::Differs,
            "holds 1048586 of the 3145828 bytes written, first differing block at offset 1048576"},
        DamageCase{"ShortByWholeBlocks",
            [](const fs::path& r) { fs::resize_file(r / "a/大文件.bin", kChecksumBlockSize); },
            ReadBackOutcome::Status::Differs, "first differing block at offset 1048576"},
        DamageCase{"Longer", [](const fs::path& r) { std::ofstream(r / "b.txt", std::ios::app) << "!"; },
            ReadBackOutcome::Status::Differs, "\"b.txt\" differs"},
        DamageCase{"Missing", [](const fs::path& r) { fs::remove(r / "b.txt"); }, ReadBackOutcome::Status::Differs,
            "cannot open \"b.txt\": No such file or directory"},
        // A link is never followed, even to a copy that would compare equal.
        DamageCase{"FolderReplacedByALink",
            [](const fs::path& r) {
                fs::rename(r / "a", r / "elsewhere");
                fs::create_directory_symlink(r / "elsewhere", r / "a");
            },
            ReadBackOutcome::Status::Differs, "cannot open \"a/大文件.bin\""}),
    [](const ::testing::TestParamInfo<DamageCase>& info) { return std::string(info.param.name); });

TEST(ReadBackStop, EndsBetweenBlocks)
{
    const TempFolder root("read-back");
    const std::vector<WrittenFile> files{Write(root.Path(), "big", Pattern(kBig))};
    int error = 0;
    const platform::FolderHandle stick = platform::FolderHandle::OpenExisting(root.Path().string(), error);
    std::atomic<bool> stop{false};
    int blocks = 0;
    const ReadBackOutcome outcome = VerifyWrittenFiles(
        stick, files, [&](std::uint64_t done, std::uint64_t) { stop = ++blocks == 2 && done > 0; }, &stop);
    EXPECT_EQ(outcome.status, ReadBackOutcome::Status::Stopped);
    EXPECT_EQ(blocks, 2);
}

} // namespace
