// Extracts one archive with ExtractZipArchive, as the download window does, and prints what
// it cost on one line:
//
//     extract_bench ARCHIVE DESTINATION
//     bytes=1476395008 seconds=4.210 peak_rss_kib=9120
//
// `bytes` is the archive's uncompressed total; the time includes flushing the destination's
// file system. extract_bench.py drives it and compares it with bsdtar.
#include "bench/peak_memory.h"
#include "install/extract_progress.h"
#include "install/package_extractor.h"
#include "install/whole_percent.h"
#include "platform/win32_files.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

std::wstring RootedAbsolute(const char* path)
{
    return platform::RootedPath(std::filesystem::absolute(path).lexically_normal().string());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: extract_bench ARCHIVE DESTINATION\n");
        return 2;
    }
    // What the window does for each report, short of posting it: the percentage and the line.
    std::wstring status;
    int bar = 0;
    const auto onProgress = [&](std::uint64_t processed, std::uint64_t total) {
        const double percent = ExtractPercent(processed, total);
        status = FormatExtractStatus(percent);
        bar = WholePercent(percent);
    };

    const auto start = std::chrono::steady_clock::now();
    const ExtractionResult result = ExtractZipArchive(RootedAbsolute(argv[1]), RootedAbsolute(argv[2]), onProgress);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    if (!result.Ok()) {
        std::fprintf(stderr, "extract_bench: %s\n", result.error.c_str());
        return 1;
    }
    std::printf("bytes=%llu seconds=%.3f peak_rss_kib=%ld bar=%d\n",
        static_cast<unsigned long long>(g_extractTotalBytes), elapsed.count(), PeakResidentKib(), bar);
    return 0;
}
