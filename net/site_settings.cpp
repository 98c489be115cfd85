#include "net/site_settings.h"

#include "net/package_address.h"
#include "net/proxy_setting.h"
#include "platform/root_only_file.h"

#include <algorithm>
#include <charconv>

namespace net {

namespace {

constexpr std::chrono::seconds kDefaultSizeProbeTimeout{20};
// A caching mirror that fills its cache before it answers keeps the first byte back for as
// long as the whole package takes to reach it.
constexpr std::chrono::seconds kDefaultFirstByteTimeout{600};
constexpr std::int64_t kLongestTimeoutSeconds = 24 * 60 * 60;

std::string g_caFile;
std::chrono::seconds g_sizeProbeTimeout = kDefaultSizeProbeTimeout;
std::chrono::seconds g_firstByteTimeout = kDefaultFirstByteTimeout;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::vector<std::string> Words(std::string_view text)
{
    std::vector<std::string> words;
    while (!(text = Trimmed(text)).empty()) {
        const auto end = std::find_if(text.begin(), text.end(), IsBlank);
        words.emplace_back(text.begin(), end);
        text.remove_prefix(static_cast<std::size_t>(end - text.begin()));
    }
    return words;
}

bool HasControlOrBlank(std::string_view text)
{
    return std::any_of(
        text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == 0x7F; });
}

bool IsBaseUrl(std::string_view url)
{
    return (url.starts_with("http://") || url.starts_with("https://")) && url.ends_with("/setup/") &&
        url.find("://") + 3 < url.size() - 7 && !HasControlOrBlank(url);
}

std::optional<std::chrono::seconds> Seconds(std::string_view text)
{
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1 || value > kLongestTimeoutSeconds)
        return std::nullopt;
    return std::chrono::seconds(value);
}

// Stores one key's value; the error says what is wrong with it.
std::string Take(std::string_view key, std::string_view value, SiteSettings& settings)
{
    if (key == "storage_urls") {
        std::vector<std::string> urls = Words(value);
        if (urls.empty() ||
            !std::all_of(urls.begin(), urls.end(), [](const std::string& url) { return IsBaseUrl(url); }))
            return "storage_urls needs one or more http:// or https:// URLs ending in /setup/, separated by spaces";
        settings.storageUrls = std::move(urls);
    } else if (key == "storage_url_alt") {
        if (!IsBaseUrl(value))
            return "storage_url_alt needs one http:// or https:// URL ending in /setup/";
        settings.storageUrlAlt = std::string(value);
    } else if (key == "probe_address") {
        if (value.empty() || HasControlOrBlank(value) || value.find('/') != std::string_view::npos)
            return "probe_address needs a host with an optional :port";
        settings.probeAddress = std::string(value);
    } else if (key == "ca_file") {
        if (!value.starts_with('/') || HasControlOrBlank(value))
            return "ca_file needs an absolute path";
        settings.caFile = std::string(value);
    } else if (key == "proxy") {
        if (!IsProxyValue(value))
            return "proxy needs \"direct\" or a proxy URL (http, https, socks4, socks4a, socks5, socks5h)";
        settings.proxy = std::string(value);
    } else if (key == "size_probe_timeout_s" || key == "first_byte_timeout_s") {
        const auto seconds = Seconds(value);
        if (!seconds)
            return std::string(key) + " needs a whole number of seconds from 1 to 86400";
        (key == "size_probe_timeout_s" ? settings.sizeProbeTimeout : settings.firstByteTimeout) = seconds;
    } else {
        return "unknown key " + std::string(key);
    }
    return {};
}

platform::Result<void, std::string> ReadFile(const std::string& path, SiteSettings& settings)
{
    const auto read = platform::ReadRootOnlyFile(path);
    if (!read)
        return path + ": not used: " + read.Failure();
    if (!read->exists)
        return {};
    return ParseSiteSettings(read->content, path, settings);
}

} // namespace

platform::Result<void, std::string> ParseSiteSettings(
    std::string_view text, const std::string& fileName, SiteSettings& settings)
{
    int number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t end = std::min(text.find('\n'), text.size());
        const std::string_view line = Trimmed(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
        if (line.empty() || line.front() == '#')
            continue;
        const std::string where = fileName + ":" + std::to_string(number) + ": ";
        const std::size_t equals = line.find('=');
        const std::string_view key = equals == std::string_view::npos ? line : Trimmed(line.substr(0, equals));
        if (equals == std::string_view::npos || key.empty())
            return where + "not a \"key = value\" line";
        if (const std::string problem = Take(key, Trimmed(line.substr(equals + 1)), settings); !problem.empty())
            return where + problem;
    }
    return {};
}

platform::Result<SiteSettings, std::string> LoadSiteSettings(const std::string& folder)
{
    SiteSettings settings;
    if (const auto read = ReadFile(folder + "/installer.conf", settings); !read)
        return read.Failure();
    const std::string dropIns = folder + "/installer.conf.d";
    const auto names = platform::ListRootOnlyFolder(dropIns, ".conf");
    if (!names)
        return dropIns + ": not used: " + names.Failure();
    for (const std::string& name : *names)
        if (const auto read = ReadFile(dropIns + "/" + name, settings); !read)
            return read.Failure();
    return settings;
}

void UseSiteSettings(const SiteSettings& settings)
{
    UseSiteAddresses(settings.storageUrls, settings.storageUrlAlt, settings.probeAddress);
    g_caFile = settings.caFile.value_or(std::string());
    g_sizeProbeTimeout = settings.sizeProbeTimeout.value_or(kDefaultSizeProbeTimeout);
    g_firstByteTimeout = settings.firstByteTimeout.value_or(kDefaultFirstByteTimeout);
}

const std::string& CaFile() { return g_caFile; }

std::chrono::seconds SizeProbeTimeout() { return g_sizeProbeTimeout; }

std::chrono::seconds FirstByteTimeout() { return g_firstByteTimeout; }

} // namespace net
