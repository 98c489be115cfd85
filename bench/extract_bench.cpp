// Extracts one archive with ExtractZipArchive, as the download window does, and prints what
// it cost on one line:
//
//     extract_bench [--no-push] ARCHIVE DESTINATION
//     bytes=1476395008 seconds=4.210 peak_rss_kib=9120 bar=100 full_at=4.208 last_below=4.101
//
// `bytes` is the archive's uncompressed total; the time includes flushing the destination's
// file system. `full_at` is when the progress first said 100 %, `last_below` when it last said
// less (seconds from the start): seconds - full_at is how long the bar stood at 100 % while the
// stick was still written, seconds - last_below how long the final flush took. --no-push writes
// as a plain extractor does, everything left to the final flush (the comparison for the pushing
// of writes). extract_bench.py and push_bench.py drive it.
#include "bench/peak_memory.h"
#include "extraction/device_push.h"
#include "extraction/extract_progress.h"
#include "extraction/package_extractor.h"
#include "extraction/whole_percent.h"
#include "platform/win32_files.h"

#include <chrono>
#include <cstdio>
#include <cstring>
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
    if (argc == 4 && std::strcmp(argv[1], "--no-push") == 0) {
        extraction::DisableDevicePushForBenchmarks();
        --argc;
        ++argv;
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: extract_bench [--no-push] ARCHIVE DESTINATION\n");
        return 2;
    }
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto since = [&start] { return std::chrono::duration<double>(Clock::now() - start).count(); };
    // What the window does for each report, short of posting it: the percentage and the line.
    std::wstring status;
    int bar = 0;
    double fullAt = -1;
    double lastBelow = 0;
    const auto onProgress = [&](std::uint64_t processed, std::uint64_t total) {
        const double percent = ExtractPercent(processed, total);
        status = FormatExtractStatus(percent);
        bar = WholePercent(percent);
        if (processed < total)
            lastBelow = since();
        else if (fullAt < 0)
            fullAt = since();
    };

    const ExtractionResult result = ExtractZipArchive(RootedAbsolute(argv[1]), RootedAbsolute(argv[2]), onProgress);
    const double elapsed = since();
    if (!result.Ok()) {
        std::fprintf(stderr, "extract_bench: %s\n", result.error.c_str());
        return 1;
    }
    std::printf("bytes=%llu seconds=%.3f peak_rss_kib=%ld bar=%d full_at=%.3f last_below=%.3f\n",
        static_cast<unsigned long long>(g_extractTotalBytes), elapsed, PeakResidentKib(), bar, fullAt, lastBelow);
    return 0;
}
