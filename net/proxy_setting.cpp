#include "net/proxy_setting.h"

#include "platform/proxy_lookup.h"
#include "platform/win32.h"

#include <algorithm>
#include <string_view>

namespace net {

std::optional<std::string> g_proxy;

namespace {

// libproxy's schemes and what libcurl calls them; "socks" is libproxy's "either version".
struct Scheme {
    std::string_view libproxy;
    std::string_view curl;
};
constexpr Scheme kSchemes[] = {{"http", "http"}, {"https", "https"}, {"socks", "socks5"}, {"socks4", "socks4"},
    {"socks4a", "socks4a"}, {"socks5", "socks5"}, {"socks5h", "socks5h"}};

std::optional<std::string> CurlProxy(std::string_view answer)
{
    const std::size_t separator = answer.find("://");
    if (separator == std::string_view::npos || separator + 3 == answer.size())
        return std::nullopt;
    const std::string_view scheme = answer.substr(0, separator);
    for (const Scheme& known : kSchemes)
        if (scheme == known.libproxy)
            return std::string(known.curl) + std::string(answer.substr(separator));
    return std::nullopt;
}

// A probe address is a host with an optional port and path, as libcurl takes it; libproxy
// wants a URL.
std::string AsUrl(const std::string& address)
{
    return address.find("://") == std::string::npos ? "http://" + address : address;
}

} // namespace

bool IsProxyValue(std::string_view value)
{
    if (value == "direct")
        return true;
    const std::size_t separator = value.find("://");
    if (separator == std::string_view::npos || separator + 3 == value.size() ||
        std::any_of(
            value.begin(), value.end(), [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == 0x7F; }))
        return false;
    constexpr std::string_view kCurlSchemes[] = {"http", "https", "socks4", "socks4a", "socks5", "socks5h"};
    return std::find(std::begin(kCurlSchemes), std::end(kCurlSchemes), value.substr(0, separator)) !=
        std::end(kCurlSchemes);
}

std::optional<std::string> RunProxy(const std::optional<std::string>& commandLine,
    const std::optional<std::string>& siteSetting, bool startedThroughPkexec)
{
    if (commandLine)
        return commandLine;
    if (siteSetting)
        return siteSetting;
    if (startedThroughPkexec)
        return "direct";
    return std::nullopt;
}

std::string ProxyValueFromAnswers(const std::vector<std::string>& answers)
{
    for (const std::string& answer : answers) {
        if (answer.starts_with("direct://"))
            return "direct";
        if (const std::optional<std::string> proxy = CurlProxy(answer))
            return *proxy;
    }
    return "direct";
}

std::string DesktopProxyValue(const std::string& packageUrl, const std::string& probeAddress)
{
    const std::string package = ProxyValueFromAnswers(platform::DesktopProxiesFor(packageUrl));
    const std::string probe = ProxyValueFromAnswers(platform::DesktopProxiesFor(AsUrl(probeAddress)));
    if (probe != package)
        OutputDebugStringW(platform::Widen("proxy: the probe address would go " +
            (probe == "direct" ? probe : "through " + probe) + "; every request goes as the package's does")
                               .c_str());
    return package;
}

std::string ProxyForDiagnostics()
{
    if (!g_proxy || *g_proxy == "direct")
        return {};
    std::string shown = *g_proxy;
    const std::size_t hostStart = shown.find("://") == std::string::npos ? 0 : shown.find("://") + 3;
    const std::size_t at = shown.find('@', hostStart);
    if (at != std::string::npos)
        shown.erase(hostStart, at + 1 - hostStart);
    return " through proxy " + shown;
}

} // namespace net
