// A school's site settings: installer.conf in the settings folder, then installer.conf.d/*.conf
// in name order, a later line winning. They sit between the compiled-in defaults and the
// INSTALLER_* variables (which count only for a run not started through pkexec), and are used
// only when root alone can have written them.
#pragma once

#include "platform/result.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace net {

struct SiteSettings {
    std::vector<std::string> storageUrls; // storage_urls: base URLs tried in order
    std::optional<std::string> storageUrlAlt; // storage_url_alt: the one qaswitch.txt selects
    std::optional<std::string> probeAddress; // probe_address: host[:port]
    std::optional<std::string> caFile; // ca_file
    std::optional<std::string> proxy; // proxy: a proxy URL or "direct"
    std::optional<std::chrono::seconds> sizeProbeTimeout; // size_probe_timeout_s
    std::optional<std::chrono::seconds> firstByteTimeout; // first_byte_timeout_s
};

// The keys, for the help text and the manual.
inline constexpr std::string_view kSiteSettingKeys[] = {"storage_urls", "storage_url_alt", "probe_address", "ca_file",
    "proxy", "size_probe_timeout_s", "first_byte_timeout_s"};

// Reads the `key = value` lines of `text` (the file `fileName`) into `settings`: '#' begins a
// comment line, blank lines are skipped. The error names the file and line: "FILE:LINE: why".
platform::Result<void, std::string> ParseSiteSettings(
    std::string_view text, const std::string& fileName, SiteSettings& settings);

// Reads FOLDER/installer.conf and then FOLDER/installer.conf.d/*.conf. Missing files are no
// settings. The error is one line naming the file and the line or the reason it is not used.
platform::Result<SiteSettings, std::string> LoadSiteSettings(const std::string& folder);

// Makes the settings this run's (package addresses, CA file, time limits) wherever no
// INSTALLER_* variable the run may read names a value.
void UseSiteSettings(const SiteSettings& settings);

// The settings' CA file for TLS ("" for the system's; INSTALLER_CA_BUNDLE wins), and the run's
// time limits.
const std::string& CaFile();
std::chrono::seconds SizeProbeTimeout();
// How long an answer may keep its first byte back before the request counts as stalled.
std::chrono::seconds FirstByteTimeout();

} // namespace net
