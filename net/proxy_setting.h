// How the program's requests (the reachability probe, the size probe, the download) reach their
// servers, and the desktop's proxy as the value of --proxy.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace net {

// Set once by main before the first request. Unset: libcurl decides (http_proxy, https_proxy,
// all_proxy, no_proxy from the environment). "direct": every request connects directly,
// whatever the environment says. Otherwise a proxy URL (http, https, socks4, socks4a, socks5,
// socks5h) that every request goes through, loopback addresses included (no_proxy is not read).
// TLS to the server is verified through a proxy as without one.
extern std::optional<std::string> g_proxy;

// "direct", or a proxy URL of a scheme libcurl takes (http, https, socks4, socks4a, socks5,
// socks5h) with a host after it and no spaces or control characters.
bool IsProxyValue(std::string_view value);

// The run's proxy, the value for g_proxy: the command line's --proxy, else the site settings'
// proxy, else "direct" for a run started through pkexec (nothing of its caller's environment
// counts), else unset.
std::optional<std::string> RunProxy(const std::optional<std::string>& commandLine,
    const std::optional<std::string>& siteSetting, bool startedThroughPkexec);

// libproxy's answer for one address as a value of --proxy: the first proxy libcurl can use, or
// "direct" when no proxy comes before "direct://" (or none can be used).
std::string ProxyValueFromAnswers(const std::vector<std::string>& answers);

// The --proxy value for a run elevated from this process: the desktop's proxy for the package
// storage `packageUrl`. The probe address's answer is asked too; where it differs, the package's
// wins (the download is what needs the network) and a debug line says so.
std::string DesktopProxyValue(const std::string& packageUrl, const std::string& probeAddress);

// " through proxy URL" for a diagnostic line when g_proxy names a proxy (its user and password
// left out), otherwise empty.
std::string ProxyForDiagnostics();

} // namespace net
