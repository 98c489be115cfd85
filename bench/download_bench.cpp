// Download benchmark: FileDownloader against `curl -o` on the same loopback server in one run,
// then the peak resident memory of FileDownloader over a large body, then a body cut three times
// that the downloader takes up again with range requests, against the same body uncut.
//
//   download_bench [--size-mib N] [--rounds R] [--memory-size-mib M] [--resume-size-mib S] [--dir DIR]
//
// Defaults: a 1024 MiB body, 3 alternating rounds (medians reported), a 4096 MiB body for the
// memory run (0 skips it), a 1024 MiB file for the resume run (0 skips it), files in a fresh
// folder under the temporary directory.
#include "net/file_downloader.h"
#include "script_server.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

struct Options {
    long long sizeMiB = 1024;
    int rounds = 3;
    long long memorySizeMiB = 4096;
    long long resumeSizeMiB = 1024;
    std::filesystem::path dir;
    bool ownDir = false; // made here, so removed at the end
};

Options ParseOptions(int argc, char** argv)
{
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const std::string value = argv[i + 1];
        if (name == "--size-mib") {
            options.sizeMiB = std::stoll(value);
        } else if (name == "--rounds") {
            options.rounds = std::max(1, std::stoi(value));
        } else if (name == "--memory-size-mib") {
            options.memorySizeMiB = std::stoll(value);
        } else if (name == "--resume-size-mib") {
            options.resumeSizeMiB = std::stoll(value);
        } else if (name == "--dir") {
            options.dir = value;
        } else {
            throw std::runtime_error("unknown option " + name);
        }
    }
    if (options.dir.empty()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "download-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        options.dir = pattern;
        options.ownDir = true;
    }
    return options;
}

double Seconds(std::chrono::steady_clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

// Resident set size of this process in KiB, from /proc/self/status.
long ResidentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kib = 0;
            status >> kib;
            return kib;
        }
        status.ignore(4096, '\n');
    }
    return -1;
}

long PeakResidentKiB()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Downloads url into path with FileDownloader; returns the seconds it took. `onProgress`
// sees every progress report.
double DownloadWithFileDownloader(const std::string& url, const std::filesystem::path& path,
    ProgressCallback onProgress = {}, std::optional<std::chrono::milliseconds> firstRetryDelay = std::nullopt)
{
    std::filesystem::remove(path);
    const auto start = std::chrono::steady_clock::now();
    const platform::Result<platform::FolderHandle> folder =
        platform::FolderHandle::OpenExisting(path.parent_path().string());
    if (!folder)
        throw std::runtime_error(folder.Failure().Text());
    platform::Result<platform::WritableFile> file = folder->CreateNewFile(path.filename().string(), 0644);
    if (!file)
        throw std::runtime_error(file.Failure().Text());
    FileDownloader downloader(url, std::move(file).Value());
    if (onProgress) {
        downloader.SetProgressCallback(std::move(onProgress));
    }
    if (firstRetryDelay) {
        downloader.SetFirstRetryDelay(*firstRetryDelay);
    }
    if (!downloader.Start()) {
        throw std::runtime_error("FileDownloader did not start");
    }
    while (!downloader.IsFinished() && !downloader.IsFailed()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const auto end = std::chrono::steady_clock::now();
    if (downloader.IsFailed()) {
        throw std::runtime_error("FileDownloader failed");
    }
    return Seconds(end - start);
}

struct CurlRun {
    double seconds;
    long peakResidentKiB;
};

CurlRun DownloadWithCurl(const std::string& url, const std::filesystem::path& path)
{
    std::filesystem::remove(path);
    const std::string pathText = path.string();
    std::vector<std::string> args{"curl", "--silent", "--show-error", "--fail", "-o", pathText, url};
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    if (::posix_spawnp(&pid, "curl", nullptr, nullptr, argv.data(), environ) != 0) {
        throw std::runtime_error("cannot start curl");
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const auto end = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("curl failed");
    }
    return {Seconds(end - start), usage.ru_maxrss};
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void RunThroughput(const ScriptServer& server, const Options& options)
{
    const long long bytes = options.sizeMiB * 1024 * 1024;
    const std::string url = "http://127.0.0.1:" + server.ReadyValue() + "/file/" + std::to_string(bytes);
    const auto ours = options.dir / "file_downloader.bin";
    const auto theirs = options.dir / "curl.bin";

    std::vector<double> oursMiBps;
    std::vector<double> curlMiBps;
    long curlPeakKiB = 0;
    for (int round = 0; round < options.rounds; ++round) {
        // Alternate who goes first so that neither always meets a warmer page cache.
        const bool oursFirst = round % 2 == 0;
        for (int turn = 0; turn < 2; ++turn) {
            if ((turn == 0) == oursFirst) {
                oursMiBps.push_back(static_cast<double>(bytes) / kMiB / DownloadWithFileDownloader(url, ours));
                std::filesystem::remove(ours);
            } else {
                const CurlRun run = DownloadWithCurl(url, theirs);
                curlMiBps.push_back(static_cast<double>(bytes) / kMiB / run.seconds);
                curlPeakKiB = std::max(curlPeakKiB, run.peakResidentKiB);
                std::filesystem::remove(theirs);
            }
        }
        std::printf(
            "round %d: FileDownloader %.0f MiB/s, curl -o %.0f MiB/s\n", round + 1, oursMiBps.back(), curlMiBps.back());
        std::fflush(stdout);
    }
    const double oursMedian = Median(oursMiBps);
    const double curlMedian = Median(curlMiBps);
    std::printf("throughput, %lld MiB body, median of %d: FileDownloader %.0f MiB/s, curl -o %.0f MiB/s, "
                "ratio %.2f (target >= 0.90)\n",
        options.sizeMiB, options.rounds, oursMedian, curlMedian, oursMedian / curlMedian);
    std::printf("curl -o peak resident memory: %.1f MiB\n", static_cast<double>(curlPeakKiB) / 1024.0);
}

void RunMemory(const ScriptServer& server, const Options& options)
{
    const long long bytes = options.memorySizeMiB * 1024 * 1024;
    const std::string url = "http://127.0.0.1:" + server.ReadyValue() + "/file/" + std::to_string(bytes);
    const auto path = options.dir / "memory.bin";

    // Resident memory at each quarter of the body, read on the download thread.
    std::vector<long> samples{ResidentKiB()};
    double nextSample = static_cast<double>(bytes) / 4.0;
    const long before = samples.front();
    const double seconds = DownloadWithFileDownloader(url, path, [&](double, double received) {
        if (received >= nextSample) {
            samples.push_back(ResidentKiB());
            nextSample += static_cast<double>(bytes) / 4.0;
        }
        return 0;
    });
    const auto written = std::filesystem::file_size(path);
    std::filesystem::remove(path);
    if (written != static_cast<std::uintmax_t>(bytes)) {
        throw std::runtime_error("memory run wrote a file of the wrong size");
    }
    std::printf("memory, %lld MiB body (%.0f MiB/s): resident before %.1f MiB, at each quarter", options.memorySizeMiB,
        static_cast<double>(bytes) / kMiB / seconds, static_cast<double>(before) / 1024.0);
    for (std::size_t i = 1; i < samples.size(); ++i) {
        std::printf(" %.1f", static_cast<double>(samples[i]) / 1024.0);
    }
    const long peak = std::max(PeakResidentKiB(), *std::max_element(samples.begin(), samples.end()));
    std::printf(" MiB; peak of the whole process %.1f MiB (target < 32 MiB)\n", static_cast<double>(peak) / 1024.0);
}

// The same file served whole and served cut after each quarter three times; the cut download
// goes on with range requests. Timed without the waits before each try again (on loopback they
// would be all there is to see), which are reported beside it.
void RunResume(const Options& options)
{
    const long long bytes = options.resumeSizeMiB * 1024 * 1024;
    const auto files = options.dir / "files";
    std::filesystem::create_directories(files);
    std::filesystem::resize_file((std::ofstream(files / "package.zip"), files / "package.zip"), bytes);
    const std::string quarter = std::to_string(bytes / 4);
    const std::vector<std::string> server{
        "/usr/bin/python3", SupportScript("http_test_server.py"), "--lifetime", "3600", "--files", files.string()};
    std::vector<std::string> cutArguments = server;
    cutArguments.insert(cutArguments.end(), {"--drop-after", quarter, "--drops", "3"});
    const auto path = options.dir / "resume.bin";
    std::vector<double> whole;
    std::vector<double> cut;
    for (int round = 0; round < options.rounds; ++round) {
        const ScriptServer plain(server);
        const ScriptServer cutting(cutArguments);
        whole.push_back(DownloadWithFileDownloader(
            "http://127.0.0.1:" + plain.ReadyValue() + "/setup/package.zip", path, {}, std::chrono::milliseconds(0)));
        cut.push_back(DownloadWithFileDownloader(
            "http://127.0.0.1:" + cutting.ReadyValue() + "/setup/package.zip", path, {}, std::chrono::milliseconds(0)));
        if (std::filesystem::file_size(path) != static_cast<std::uintmax_t>(bytes)) {
            throw std::runtime_error("the resumed download has the wrong size");
        }
        std::printf("round %d: whole %.2f s, cut three times %.2f s\n", round + 1, whole.back(), cut.back());
        std::fflush(stdout);
    }
    std::filesystem::remove(path);
    std::filesystem::remove_all(files);
    const double wholeMedian = Median(whole);
    const double cutMedian = Median(cut);
    std::printf("resume, %lld MiB body cut three times, median of %d: %.2f s against %.2f s uncut, ratio %.3f "
                "(target <= 1.10), without the 1 + 2 + 4 s waits before the tries again\n",
        options.resumeSizeMiB, options.rounds, cutMedian, wholeMedian, cutMedian / wholeMedian);
}

} // namespace

int main(int argc, char** argv)
{
    try {
        const Options options = ParseOptions(argc, argv);
        std::filesystem::create_directories(options.dir);
        std::printf("files in %s\n", options.dir.c_str());
        const ScriptServer server({"/usr/bin/python3", SupportScript("http_test_server.py"), "--lifetime", "3600"});
        RunThroughput(server, options);
        if (options.memorySizeMiB > 0) {
            RunMemory(server, options);
        }
        if (options.resumeSizeMiB > 0) {
            RunResume(options);
        }
        if (options.ownDir) {
            std::filesystem::remove_all(options.dir);
        }
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "download_bench: %s\n", error.what());
        return 1;
    }
}
