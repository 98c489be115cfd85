// Which proxy the desktop's settings name for an address: libproxy reads the environment
// (http_proxy, https_proxy, no_proxy, ...), the GNOME and KDE settings and PAC files (WPAD too,
// where the settings say so). Asked by the user's own process, never by root's: the settings
// and any PAC script are the user's.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The proxies to try for `url`, best first, as libproxy spells them ("http://host:3128",
// "socks5://host:1080", "direct://" for none); empty when libproxy cannot answer.
std::vector<std::string> DesktopProxiesFor(const std::string& url);

} // namespace platform
