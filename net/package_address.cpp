#include "net/package_address.h"

#include <cstdlib>

namespace {

// The environment value when it is set and not empty, else the built-in default.
std::string ConfiguredValue(const char* variable, const char* fallback)
{
    const char* value = std::getenv(variable);
    return (value != nullptr && *value != '\0') ? std::string(value) : std::string(fallback);
}

// File names are appended to the base URL directly, so it must end with a slash.
std::string ConfiguredBaseUrl(const char* variable, const char* fallback)
{
    std::string url = ConfiguredValue(variable, fallback);
    if (!url.empty() && url.back() != '/') {
        url.push_back('/');
    }
    return url;
}

std::string_view KeyStem(std::string_view packageKey)
{
    return packageKey.substr(0, packageKey.find('-'));
}

bool IsUnreservedByte(char byte)
{
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
           byte == '-' || byte == '_' || byte == '.' || byte == '~';
}

constexpr std::string_view kArchiveSuffix = ".zip";
// The longest file name the common file systems take, in bytes.
constexpr std::size_t kMaxFileNameBytes = 255;

} // namespace

std::string cloudBaseUrl = ConfiguredBaseUrl("INSTALLER_CLOUD_BASE_URL", INSTALLER_DEFAULT_CLOUD_BASE_URL);
std::string cloudBaseUrlAlt =
    ConfiguredBaseUrl("INSTALLER_CLOUD_BASE_URL_ALT", INSTALLER_DEFAULT_CLOUD_BASE_URL_ALT);
std::string activeCloudBaseUrl;
std::string packageFileName;
std::string probeAddress = ConfiguredValue("INSTALLER_PROBE_ADDRESS", INSTALLER_DEFAULT_PROBE_ADDRESS);

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
    if (name.size() > kMaxFileNameBytes || name.find("..") != std::string::npos) {
        return false;
    }
    for (const char byte : name) {
        if (!IsUnreservedByte(byte)) {
            return false;
        }
    }
    return true;
}
