// Where the package archive lives: the cloud storage base URLs, the reachability probe address,
// and the archive's file name made from the package key.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Base URLs of the package archives (path "/setup/", ending with a slash). Both hold the
// configured default, or INSTALLER_CLOUD_BASE_URL / INSTALLER_CLOUD_BASE_URL_ALT when set.
extern std::string cloudBaseUrl;
extern std::string cloudBaseUrlAlt;
// Further base URLs of the site settings' storage_urls, tried in order after cloudBaseUrl when
// it cannot be reached (empty unless the settings name more than one).
extern std::vector<std::string> cloudBaseUrlFallbacks;
// The base URL in use: empty until the main window picks one of the two above.
extern std::string activeCloudBaseUrl;
// The base URLs tried after activeCloudBaseUrl: cloudBaseUrlFallbacks, none for the alternate.
extern std::vector<std::string> activeCloudBaseUrlFallbacks;
// The archive's file name for this run: empty until the start flow makes it from the key.
extern std::string packageFileName;
// Host (and optionally ":port") that ProbeServer asks over HTTP; INSTALLER_PROBE_ADDRESS
// overrides the configured default.
extern std::string probeAddress;

// The site settings' addresses (storage_urls, storage_url_alt, probe_address), each used where
// no INSTALLER_* variable the run may read names one.
void UseSiteAddresses(const std::vector<std::string>& storageUrls, const std::optional<std::string>& storageUrlAlt,
    const std::optional<std::string>& probe);

// The configured defaults of the alternate (`alternate` true) or usual base URL and of the probe
// address: what a process started through pkexec uses, whatever the environment says.
std::string DefaultCloudBaseUrl(bool alternate);
std::string DefaultProbeAddress();

// The key's bytes up to its first '-', ASCII capitals lowered, followed by ".zip".
std::string MakePackageFileName(std::string packageKey);

// True when MakePackageFileName(packageKey) is one plain, unambiguous file name: valid UTF-8,
// no control characters, none of / \ : * ? " < > |, something before ".zip", not beginning
// with a dot, at most 255 bytes. Chinese and other non-ASCII letters pass. Keys that fail are
// refused, never repaired.
bool IsSafePackageKey(std::string_view packageKey);

// A file name as one URL path segment: its UTF-8 bytes percent-encoded, except ASCII letters,
// digits and "-._~", which stay as they are.
std::string EncodeUrlFileName(std::string_view fileName);

// The package's download URL: the base URL followed by the encoded file name.
std::string PackageUrl(const std::string& baseUrl, const std::string& fileName);
