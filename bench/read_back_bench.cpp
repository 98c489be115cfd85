// The read-back after writing against a plain sequential read of the same files with the same
// cache dropping, in the same run, and the memory the read-back holds.
//
//     read_back_bench [--dir DIR] [--size-mib 1024] [--rounds 3]
//
// Writes a package-like set of files into DIR (a fresh folder under $TMPDIR by default): a few
// large media files and many small pages, SIZE MiB in all, flushes the file system, then reads
// them ROUNDS times with each reader, alternating:
//   read-back   VerifyWrittenFiles, as the install worker runs it (uncached reads, CRC-32s)
//   plain       open, drop the file's cached pages, read 1 MiB blocks, drop them again, nothing
//               else: the least any reader of those files from the device has to do
// and prints each round, the medians, their ratio (target: at least 0.9) and the peak resident
// memory before and after the read-backs (target: no growth with the package's size).
#include "bench/peak_memory.h"
#include "extraction/block_checksum.h"
#include "extraction/read_back.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Large files of 64 to 256 MiB until a quarter is left, then pages of 4 KiB to 512 KiB.
std::vector<WrittenFile> WritePackage(const fs::path& root, std::uint64_t totalBytes)
{
    std::mt19937_64 random(42);
    std::vector<std::byte> block(kChecksumBlockSize);
    std::vector<WrittenFile> files;
    std::uint64_t written = 0;
    while (written < totalBytes) {
        const bool large = written < totalBytes / 4 * 3;
        const std::uint64_t left = (large ? totalBytes / 4 * 3 : totalBytes) - written;
        const std::uint64_t size =
            std::min<std::uint64_t>(left, large ? (64 + random() % 192) << 20 : 4096 + random() % (512 << 10));
        const std::string path = (large ? "media/" : "pages/" + std::to_string(files.size() % 50) + "/") +
            std::to_string(files.size()) + ".bin";
        fs::create_directories((root / path).parent_path());
        std::ofstream out(root / path, std::ios::binary);
        BlockChecksum checksum;
        for (std::uint64_t remaining = size; remaining > 0;) {
            const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, block.size()));
            for (std::size_t i = 0; i < take; i += 8) {
                const std::uint64_t word = random();
                std::memcpy(block.data() + i, &word, std::min<std::size_t>(8, take - i));
            }
            out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(take));
            checksum.Add(block.data(), take);
            remaining -= take;
        }
        files.push_back({path, checksum.Size(), checksum.Crc32(), checksum.Blocks()});
        written += size;
    }
    return files;
}

double PlainRead(int root, const std::vector<WrittenFile>& files)
{
    const auto buffer = std::make_unique_for_overwrite<char[]>(kChecksumBlockSize);
    const auto start = std::chrono::steady_clock::now();
    for (const WrittenFile& file : files) {
        const int fd = openat(root, file.path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            std::perror(file.path.c_str());
            std::exit(1);
        }
        posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        off_t offset = 0;
        for (ssize_t got; (got = read(fd, buffer.get(), kChecksumBlockSize)) > 0; offset += got)
            posix_fadvise(fd, offset, got, POSIX_FADV_DONTNEED);
        close(fd);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double ReadBack(const platform::FolderHandle& root, const std::vector<WrittenFile>& files)
{
    const auto start = std::chrono::steady_clock::now();
    const auto verified = VerifyWrittenFiles(root, files, [](std::uint64_t, std::uint64_t) {});
    if (!verified) {
        std::fprintf(stderr, "read_back_bench: %s\n", verified.Failure().diagnostic.c_str());
        std::exit(1);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    fs::path dir;
    std::uint64_t sizeMib = 1024;
    int rounds = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--dir")
            dir = argv[i + 1];
        else if (option == "--size-mib")
            sizeMib = std::stoull(argv[i + 1]);
        else if (option == "--rounds")
            rounds = std::max(1, std::stoi(argv[i + 1]));
    }
    const fs::path root =
        (dir.empty() ? fs::temp_directory_path() : dir) / ("read-back-bench-" + std::to_string(getpid()));
    fs::create_directories(root);
    const std::vector<WrittenFile> files = WritePackage(root, sizeMib << 20);
    const int rootFd = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    syncfs(rootFd);
    const platform::Result<platform::FolderHandle> opened = platform::FolderHandle::OpenExisting(root.string());
    if (!opened) {
        std::fprintf(stderr, "read_back_bench: %s\n", opened.Failure().Text().c_str());
        return 1;
    }
    const platform::FolderHandle& stickRoot = *opened;
    const double mib = static_cast<double>(sizeMib);
    std::printf("%zu files, %llu MiB in %s\n", files.size(), static_cast<unsigned long long>(sizeMib), root.c_str());

    const long rssBefore = PeakResidentKib();
    std::vector<double> readBack, plain, ratios;
    for (int round = 0; round < rounds; ++round) {
        plain.push_back(PlainRead(rootFd, files));
        readBack.push_back(ReadBack(stickRoot, files));
        ratios.push_back(plain.back() / readBack.back());
        std::printf("round %d: read-back %.0f MiB/s, plain %.0f MiB/s, ratio %.3f\n", round + 1, mib / readBack.back(),
            mib / plain.back(), ratios.back());
    }
    std::printf("median: read-back %.0f MiB/s, plain %.0f MiB/s, ratio %.3f (median of the rounds' ratios %.3f)\n",
        mib / Median(readBack), mib / Median(plain), Median(plain) / Median(readBack), Median(ratios));
    std::printf("peak resident memory: %ld KiB before the reads, %ld KiB after\n", rssBefore, PeakResidentKib());
    close(rootFd);
    fs::remove_all(root);
    return 0;
}
