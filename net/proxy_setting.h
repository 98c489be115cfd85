// How the program's requests (the reachability probe, the size probe, the download) reach their
// servers, and the desktop's proxy as the value of --proxy.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace net {

// How a request reaches its server; the run decides it once (RunProxy) and hands it to every
// request. Unset: libcurl decides (http_proxy, https_proxy, all_proxy, no_proxy from the
// environment). "direct": every request connects directly, whatever the environment says.
// Otherwise a proxy URL (http, https, socks4, socks4a, socks5, socks5h) that every request goes
// through, loopback addresses included (no_proxy is not read). TLS to the server is verified
// through a proxy as without one.
using ProxySetting = std::optional<std::string>;

// "direct", or a proxy URL: http, https, socks4, socks4a, socks5 or socks5h, an optional
// "USER:PASSWORD@", a host (a name, an IPv4 address or a bracketed IPv6 address), an optional
// port from 1 to 65535, and at most a "/" after it. Nothing else is a proxy: no path (libcurl
// takes one as a Unix socket), query, other scheme, space or control character.
bool IsProxyValue(std::string_view value);

// The run's proxy, decided here and nowhere else: the command line's --proxy (also when the
// caller's process handed it over), else the site settings' proxy, else the caller's desktop's
// as it was handed over, else "direct" in a process started through pkexec (nothing of the
// caller's environment is read), else unset (libcurl reads the environment).
std::optional<std::string> RunProxy(const std::optional<std::string>& commandLine,
    const std::optional<std::string>& siteSetting, const std::optional<std::string>& handedOverDesktop,
    bool startedThroughPkexec);

// libproxy's answer for one address as a value of --proxy: the first proxy IsProxyValue takes, or
// "direct" when no proxy comes before "direct://" (or none can be used).
std::string ProxyValueFromAnswers(const std::vector<std::string>& answers);

// The --proxy value for a run elevated from this process: the desktop's proxy for the package
// storage `packageUrl`. The probe address's answer is asked too; where it differs, the package's
// wins (the download is what needs the network) and a debug line says so.
std::string DesktopProxyValue(const std::string& packageUrl, const std::string& probeAddress);

// " through proxy URL" for a diagnostic line when `proxy` names a proxy (its user and password
// left out), otherwise empty.
std::string ProxyForDiagnostics(const ProxySetting& proxy);

} // namespace net
