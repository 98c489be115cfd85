// What every run prepares before anything is downloaded, the same way in the window run and in
// station mode: the package's file name and address from the key, the work folder and archive
// path on the download disk, and the server's answer on whether the package exists. Each run
// shows the outcome its own way (a message box, a line on standard error).
#pragma once

#include "drives/drive_info.h"
#include "net/file_downloader.h"
#include "net/http_request.h"
#include "platform/result.h"

#include <functional>
#include <optional>
#include <string>

struct PreparedInstall {
    std::string fileName; // the package's file name: "语文三年级上.zip" (the caller's packageFileName)
    std::string url; // the package's download address
    std::string workFolder; // "C:\kelvo\"
    std::string archivePath; // "C:\kelvo\语文三年级上.zip"
    RemoteVersion probed; // the size probe's answer: the whole length (-1: no answer), the validator
};

// Why a preparation did not get as far as a package to download.
enum class PreparationStop {
    NoPackageKey,
    BadPackageKey,
    PackageMissing,
    ProxyRefused, // a proxy asked for credentials (407)
    StorageFailing, // the storage answered with a server error (5xx)
    Abandoned, // the probe was given up (the program is ending); nothing to tell
};

// The user's text for a stop; null for Abandoned.
const wchar_t* PreparationStopText(PreparationStop stop);

// Asks the server how large the package at `url` is (length -1 when no answer came); nullopt
// when the run gave up waiting.
using SizeProbe = std::function<std::optional<ProbedFile>(const std::string& url)>;

// Checks the package key `key`, makes the package's file name from it (the base URL must be
// selected), and probes the package on the server through `probe`, which is called only once
// the key passed: at activeCloudBaseUrl, then at each of activeCloudBaseUrlFallbacks for as long
// as the one before could not be reached. Any answer of a server, an error status too, is that
// storage's answer. Nothing is written, no program-wide value either: the caller keeps the file
// name in packageFileName.
platform::Result<PreparedInstall, PreparationStop> PrepareInstallation(
    const std::string& key, const DriveInfo& downloadDisk, const SizeProbe& probe);
