#include "net/package_address.h"

#include "platform/elevation.h"

#include <algorithm>
#include <optional>
#include <string_view>

namespace {

// The environment value when it is set and not empty, else the built-in default.
std::string ConfiguredValue(const char* variable, const char* fallback)
{
    const char* value = platform::SettingFromEnvironment(variable);
    return (value != nullptr && *value != '\0') ? std::string(value) : std::string(fallback);
}

// File names are appended to the base URL directly, so it must end with a slash.
std::string WithSlash(std::string url)
{
    if (!url.empty() && url.back() != '/') {
        url.push_back('/');
    }
    return url;
}

std::string ConfiguredBaseUrl(const char* variable, const char* fallback)
{
    return WithSlash(ConfiguredValue(variable, fallback));
}

std::string_view KeyStem(std::string_view packageKey) { return packageKey.substr(0, packageKey.find('-')); }

bool IsUnreservedByte(char byte)
{
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
        byte == '-' || byte == '_' || byte == '.' || byte == '~';
}

// The code points of `text`, or nothing when it is not valid UTF-8 (overlong forms, surrogates
// and values above U+10FFFF included).
std::optional<std::u32string> DecodeUtf8(std::string_view text)
{
    std::u32string decoded;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t point = 0;
        char32_t smallest = 0;
        if (lead < 0x80) {
            length = 1;
            point = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            point = lead & 0x1F;
            smallest = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            point = lead & 0x0F;
            smallest = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            point = lead & 0x07;
            smallest = 0x10000;
        } else {
            return std::nullopt;
        }
        if (i + length > text.size())
            return std::nullopt;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return std::nullopt;
            point = (point << 6) | (next & 0x3F);
        }
        if (point < smallest || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
            return std::nullopt;
        decoded.push_back(point);
        i += length;
    }
    return decoded;
}

// Characters a file name must not hold: controls (C0, DEL, C1), the path separators and what
// Windows reserves for wildcards, streams and redirection.
bool IsRefusedInFileName(char32_t point)
{
    if (point < 0x20 || (point >= 0x7F && point <= 0x9F))
        return true;
    return std::u32string_view(U"/\\:*?\"<>|").find(point) != std::u32string_view::npos;
}

constexpr std::string_view kArchiveSuffix = ".zip";
// The longest file name the common file systems take, in bytes.
constexpr std::size_t kMaxFileNameBytes = 255;

} // namespace

std::string cloudBaseUrl = ConfiguredBaseUrl("INSTALLER_CLOUD_BASE_URL", INSTALLER_DEFAULT_CLOUD_BASE_URL);
std::string cloudBaseUrlAlt = ConfiguredBaseUrl("INSTALLER_CLOUD_BASE_URL_ALT", INSTALLER_DEFAULT_CLOUD_BASE_URL_ALT);
std::vector<std::string> cloudBaseUrlFallbacks;
std::string activeCloudBaseUrl;
std::vector<std::string> activeCloudBaseUrlFallbacks;
std::string packageFileName;
std::string probeAddress = ConfiguredValue("INSTALLER_PROBE_ADDRESS", INSTALLER_DEFAULT_PROBE_ADDRESS);

void UseSiteAddresses(const std::vector<std::string>& storageUrls, const std::optional<std::string>& storageUrlAlt,
    const std::optional<std::string>& probe)
{
    const auto unset = [](const char* variable) {
        const char* value = platform::SettingFromEnvironment(variable);
        return value == nullptr || *value == '\0';
    };
    if (!storageUrls.empty() && unset("INSTALLER_CLOUD_BASE_URL")) {
        cloudBaseUrl = WithSlash(storageUrls.front());
        cloudBaseUrlFallbacks.clear();
        for (auto url = storageUrls.begin() + 1; url != storageUrls.end(); ++url)
            cloudBaseUrlFallbacks.push_back(WithSlash(*url));
    }
    if (storageUrlAlt && unset("INSTALLER_CLOUD_BASE_URL_ALT"))
        cloudBaseUrlAlt = WithSlash(*storageUrlAlt);
    if (probe && unset("INSTALLER_PROBE_ADDRESS"))
        probeAddress = *probe;
}

std::string DefaultCloudBaseUrl(bool alternate)
{
    return WithSlash(alternate ? INSTALLER_DEFAULT_CLOUD_BASE_URL_ALT : INSTALLER_DEFAULT_CLOUD_BASE_URL);
}

std::string DefaultProbeAddress() { return INSTALLER_DEFAULT_PROBE_ADDRESS; }

std::string MakePackageFileName(std::string packageKey)
{
    std::string name;
    for (const char byte : KeyStem(packageKey)) {
        name.push_back(byte >= 'A' && byte <= 'Z' ? static_cast<char>(byte + 32) : byte);
    }
    name += kArchiveSuffix;
    return name;
}

bool IsSafePackageKey(std::string_view packageKey)
{
    const std::string name = MakePackageFileName(std::string(packageKey));
    // The name always ends in ".zip", so a leading dot also refuses an empty stem (".zip", the
    // name of a key that begins with a dash) and the stems "." and "..".
    if (name.size() > kMaxFileNameBytes || name.front() == '.')
        return false;
    const auto points = DecodeUtf8(name);
    return points && std::none_of(points->begin(), points->end(), IsRefusedInFileName);
}

std::string EncodeUrlFileName(std::string_view fileName)
{
    constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const char byte : fileName) {
        if (IsUnreservedByte(byte)) {
            encoded.push_back(byte);
        } else {
            const auto code = static_cast<unsigned char>(byte);
            encoded += {'%', kHex[code >> 4], kHex[code & 0x0F]};
        }
    }
    return encoded;
}

std::string PackageUrl(const std::string& baseUrl, const std::string& fileName)
{
    return baseUrl + EncodeUrlFileName(fileName);
}
