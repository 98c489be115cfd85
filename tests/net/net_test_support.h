// Shared pieces of the network client's tests: the body pattern the loopback server sends, the
// wait for a downloader, and the support helpers they use with them.
#pragma once

#include "file_bytes.h"
#include "scoped_env.h"
#include "temp_folder.h"
#include "test_http_server.h"

#include <cstddef>
#include <string>

class FileDownloader;

// The first `count` bytes the server's /file and /chunked routes send.
std::string PatternBytes(std::size_t count);

// A fresh folder for one test, removed with everything in it.
using TempDir = TempFolder;

// Waits until the downloader is finished or failed; false only when that takes minutes.
bool WaitUntilEnded(const FileDownloader& downloader);
