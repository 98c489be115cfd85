#include "net/curl_easy.h"

#include "platform/elevation.h"

namespace net {

CurlEasy MakeCurlEasy() { return CurlEasy(curl_easy_init()); }

void UseVerifiedTls(CURL* handle)
{
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    const char* caBundle = platform::SettingFromEnvironment("INSTALLER_CA_BUNDLE");
    if (caBundle != nullptr && *caBundle != '\0') {
        curl_easy_setopt(handle, CURLOPT_CAINFO, caBundle);
    }
}

} // namespace net
