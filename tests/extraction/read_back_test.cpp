// Reading written files back: checksums as the writer keeps them, files on a real disk
// damaged after the fact, and what the read-back says about each.
#include "extraction/block_checksum.h"
#include "extraction/read_back.h"

#include "temp_folder.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>

namespace fs = std::filesystem;

namespace {

const std::size_t kBig = 3 * kChecksumBlockSize + 100;

// Writes the file and returns what the writer keeps for it, the bytes given in uneven pieces
// as an archive hands them over.
WrittenFile Write(const fs::path& root, const std::string& path, const std::string& bytes)
{
    fs::create_directories((root / path).parent_path());
    std::ofstream(root / path, std::ios::binary) << bytes;
    BlockChecksum checksum;
    for (std::size_t at = 0; at < bytes.size(); at += 300007)
        checksum.Add(bytes.data() + at, std::min<std::size_t>(300007, bytes.size() - at));
    return {path, checksum.Size(), checksum.Crc32(), checksum.Blocks()};
}

struct Stick {
    TempFolder folder{"read-back"};
    std::string big = std::string(kBig, 'x') + "tail";
    std::vector<WrittenFile> files{Write(folder.Path(), "a/大文件.bin", big), Write(folder.Path(), "b.txt", "hello"),
        Write(folder.Path(), "empty", "")};
    platform::FolderHandle root = platform::FolderHandle::OpenExisting(folder.Path().string()).Value();
};

void FlipByte(const fs::path& file, std::uint64_t offset)
{
    std::fstream stream(file, std::ios::in | std::ios::out | std::ios::binary);
    stream.seekp(static_cast<std::streamoff>(offset));
    stream.put('y');
}

TEST(ReadBack, NamesTheFileAndTheFirstDifferingBlock)
{
    const struct {
        const char* name;
        std::function<void(const fs::path&)> damage;
        std::optional<ReadBackFailure::Side> side; // none: verified
        std::string diagnostic;
    } rows[] = {
        {"intact", [](const fs::path&) {}, std::nullopt, ""},
        {"byte flipped", [](const fs::path& r) { FlipByte(r / "a/大文件.bin", 2 * kChecksumBlockSize + 7); },
            ReadBackFailure::Side::Differs,
            "\"a/大文件.bin\" differs from what was written, first differing block at offset 2097152"},
        {"short", [](const fs::path& r) { fs::resize_file(r / "a/大文件.bin", kChecksumBlockSize + 10); },
            ReadBackFailure::Side::Differs,
            "holds 1048586 of the 3145832 bytes written, first differing block at offset 1048576"},
        {"longer", [](const fs::path& r) { std::ofstream(r / "b.txt", std::ios::app) << "!"; },
            ReadBackFailure::Side::Differs, "\"b.txt\" differs"},
        {"missing", [](const fs::path& r) { fs::remove(r / "b.txt"); }, ReadBackFailure::Side::Differs,
            "cannot open \"b.txt\": No such file or directory"},
        // A link is never followed, even to a copy that would compare equal.
        {"folder replaced by a link",
            [](const fs::path& r) {
                fs::rename(r / "a", r / "elsewhere");
                fs::create_directory_symlink(r / "elsewhere", r / "a");
            },
            ReadBackFailure::Side::Differs, "cannot open \"a/大文件.bin\""},
    };
    for (const auto& row : rows) {
        const Stick stick;
        EXPECT_EQ(stick.files[0].crc32,
            crc32(0, reinterpret_cast<const Bytef*>(stick.big.data()), static_cast<uInt>(stick.big.size())));
        row.damage(stick.folder.Path());
        std::uint64_t lastDone = 0;
        const platform::Result<void, ReadBackFailure> verified =
            VerifyWrittenFiles(stick.root, stick.files, [&](std::uint64_t done, std::uint64_t total) {
                EXPECT_GE(done, lastDone);
                EXPECT_EQ(total, kBig + 4 + 5);
                lastDone = done;
            });
        ASSERT_EQ(verified.Ok(), !row.side) << row.name;
        if (verified) {
            EXPECT_EQ(lastDone, kBig + 4 + 5);
            continue;
        }
        const ReadBackFailure& failure = verified.Failure();
        EXPECT_EQ(failure.side, *row.side) << row.name;
        EXPECT_NE(failure.diagnostic.find(row.diagnostic), std::string::npos) << row.name << ": " << failure.diagnostic;
    }
}

TEST(ReadBack, StopsBetweenBlocks)
{
    const Stick stick;
    std::atomic<bool> stop{false};
    int reports = 0;
    const platform::Result<void, ReadBackFailure> verified = VerifyWrittenFiles(
        stick.root, stick.files, [&](std::uint64_t, std::uint64_t) { stop = ++reports == 2; }, &stop);
    ASSERT_FALSE(verified);
    EXPECT_EQ(verified.Failure().side, ReadBackFailure::Side::Stopped);
    EXPECT_EQ(reports, 2);
}

} // namespace
