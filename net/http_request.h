// Blocking requests of the installer: the reachability probe, the system's own view of the
// connection, and the HEAD request that sizes the package archive.
#pragma once

#include "net/file_downloader.h"
#include "net/proxy_setting.h"

#include <atomic>
#include <cstddef>
#include <optional>
#include <string>

// GET of probeAddress with a 200 ms connect and a 1000 ms overall limit. Returns libcurl's
// result code: 0 when any HTTP answer (an error status too) arrived in time, 2
// (CURLE_FAILED_INIT) when no handle could be made. Through `proxy` (net/proxy_setting.h).
int ProbeServer(const net::ProxySetting& proxy);

// The system's answer whether the machine is on the Internet. Only a network manager that
// answers "not connected" gives false; when it cannot be asked the answer is true.
bool IsInternetConnected();

// Content-Length of a HEAD request to url; -1 when the request failed or no length came back
// (with one diagnostic line on standard error). The HTTP status is not looked at. A length
// above the int range gives the smallest int, which callers that read the result as an
// unsigned 32-bit number take for a large package. Bounded by a connect and an overall limit.
// The proxy is libcurl's choice from the environment.
int GetRemoteFileSize(const std::string& url);

// What the size probe learned of the file.
struct ProbedFile {
    RemoteVersion version; // the whole 64-bit length (-1: none came) and the validator
    long status = 0; // the HTTP status of the answer, a proxy's 407 included; 0 when none came
    bool unreachable = false; // the name did not resolve, or no connection could be made
};

// The HEAD request of GetRemoteFileSize: where that gives -1 for a failed request, the length
// is -1 here as well. nullopt only when `cancel` ended it. The time limit is the site settings'
// size_probe_timeout_s. `cancel`, once set, ends the request within about a second with no line.
std::optional<ProbedFile> ProbeRemoteFile(
    const std::string& url, const std::atomic<bool>* cancel, const net::ProxySetting& proxy);
// GetRemoteFileSize's answer for a probe's result (length -1: no answer).
int SizeProbeAnswer(const RemoteVersion& probed);

// libcurl write function that appends size * count bytes to the std::string at sink and
// returns that count.
std::size_t AppendToString(char* data, std::size_t size, std::size_t count, void* sink);
