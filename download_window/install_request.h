// What one installation is to do: where the package comes from, where it is kept on the hard
// disk, and which stick it goes onto. Handed to the install worker, which keeps its own copy.
#pragma once

#include "net/file_downloader.h"
#include "session/run_options.h"

#include <string>

struct InstallRequest {
    std::string downloadUrl;
    std::string archivePath; // letter path: "C:\kelvo\语文三年级上.zip"
    std::string workFolder; // letter path ending with a backslash: "C:\kelvo\"
    std::wstring stickRoot; // the drive the package goes onto: "E:"
    RunOptions options; // the run's: read back or not, unattended or not, the proxy
    RemoteVersion probed; // the size probe's answer: a download left with this version goes on
};
