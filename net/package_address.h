// Where the package archive lives: the cloud storage base URLs, the reachability probe address,
// and the archive's file name made from the package key.
#pragma once

#include <string>
#include <string_view>

// Base URLs of the package archives (path "/setup/", ending with a slash). Both hold the
// configured default, or INSTALLER_CLOUD_BASE_URL / INSTALLER_CLOUD_BASE_URL_ALT when set.
extern std::string cloudBaseUrl;
extern std::string cloudBaseUrlAlt;
// The base URL in use: empty until the main window picks one of the two above.
extern std::string activeCloudBaseUrl;
// The archive's file name for this run: empty until the start flow makes it from the key.
extern std::string packageFileName;
// Host (and optionally ":port") that ProbeServer asks over HTTP; INSTALLER_PROBE_ADDRESS
// overrides the configured default.
extern std::string probeAddress;

// The key's bytes up to its first '-', ASCII capitals lowered, followed by ".zip".
std::string MakePackageFileName(std::string packageKey);

// True when MakePackageFileName(packageKey) is one plain file name that also goes into a URL
// unchanged: only ASCII letters, digits, '-', '_', '.' and '~' before the first dash, no "..",
// and short enough for a file system name. Keys that fail are refused, never encoded.
bool IsSafePackageKey(std::string_view packageKey);
