#include "net/proxy_setting.h"

#include "platform/proxy_lookup.h"
#include "platform/win32.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace net {

namespace {

// libproxy's schemes and what libcurl calls them; "socks" is libproxy's "either version".
struct Scheme {
    std::string_view libproxy;
    std::string_view curl;
};
constexpr Scheme kSchemes[] = {{"http", "http"}, {"https", "https"}, {"socks", "socks5"}, {"socks4", "socks4"},
    {"socks4a", "socks4a"}, {"socks5", "socks5"}, {"socks5h", "socks5h"}};

bool IsHostCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
        c == '_';
}

bool IsPort(std::string_view text)
{
    if (text.empty() || text.size() > 5 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    const int port = std::stoi(std::string(text));
    return port >= 1 && port <= 65535;
}

// "HOST", "HOST:PORT", "[IPV6]" or "[IPV6]:PORT".
bool IsHostAndPort(std::string_view authority)
{
    std::string_view port;
    if (authority.starts_with('[')) {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos || close == 1)
            return false;
        const std::string_view address = authority.substr(1, close - 1);
        if (!std::all_of(address.begin(), address.end(),
                [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.'; }))
            return false;
        const std::string_view after = authority.substr(close + 1);
        if (after.empty())
            return true;
        if (!after.starts_with(':'))
            return false;
        port = after.substr(1);
        return IsPort(port);
    }
    const std::size_t colon = authority.find(':');
    const std::string_view host = authority.substr(0, colon);
    if (host.empty() || !std::all_of(host.begin(), host.end(), IsHostCharacter))
        return false;
    return colon == std::string_view::npos || IsPort(authority.substr(colon + 1));
}

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
    if (std::any_of(
            value.begin(), value.end(), [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == 0x7F; }))
        return false;
    constexpr std::string_view kProxySchemes[] = {"http", "https", "socks4", "socks4a", "socks5", "socks5h"};
    const std::size_t separator = value.find("://");
    if (separator == std::string_view::npos ||
        std::find(std::begin(kProxySchemes), std::end(kProxySchemes), value.substr(0, separator)) ==
            std::end(kProxySchemes))
        return false;
    std::string_view rest = value.substr(separator + 3);
    if (rest.ends_with('/'))
        rest.remove_suffix(1);
    if (rest.find_first_of("/?#\\") != std::string_view::npos)
        return false;
    const std::size_t at = rest.rfind('@');
    return IsHostAndPort(at == std::string_view::npos ? rest : rest.substr(at + 1));
}

std::optional<std::string> RunProxy(const std::optional<std::string>& commandLine,
    const std::optional<std::string>& siteSetting, const std::optional<std::string>& handedOverDesktop,
    bool startedThroughPkexec)
{
    if (commandLine)
        return commandLine;
    if (siteSetting)
        return siteSetting;
    if (handedOverDesktop)
        return handedOverDesktop;
    if (startedThroughPkexec)
        return "direct";
    return std::nullopt;
}

std::string ProxyValueFromAnswers(const std::vector<std::string>& answers)
{
    for (const std::string& answer : answers) {
        if (answer.starts_with("direct://"))
            return "direct";
        if (const std::optional<std::string> proxy = CurlProxy(answer); proxy && IsProxyValue(*proxy))
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

std::string ProxyForDiagnostics(const ProxySetting& proxy)
{
    if (!proxy || *proxy == "direct")
        return {};
    std::string shown = *proxy;
    const std::size_t hostStart = shown.find("://") == std::string::npos ? 0 : shown.find("://") + 3;
    const std::size_t at = shown.find('@', hostStart);
    if (at != std::string::npos)
        shown.erase(hostStart, at + 1 - hostStart);
    return " through proxy " + shown;
}

} // namespace net
