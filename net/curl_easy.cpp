#include "net/curl_easy.h"

#include "net/proxy_setting.h"
#include "net/site_settings.h"
#include "platform/elevation.h"

namespace net {

CurlEasy MakeCurlEasy(const ProxySetting& proxy)
{
    CurlEasy handle(curl_easy_init());
    if (handle && proxy) {
        // An empty proxy turns the environment's proxy variables off; an empty no-proxy list
        // keeps no_proxy from sending any address past the proxy.
        curl_easy_setopt(handle.get(), CURLOPT_PROXY, *proxy == "direct" ? "" : proxy->c_str());
        curl_easy_setopt(handle.get(), CURLOPT_NOPROXY, "");
    }
    return handle;
}

void UseVerifiedTls(CURL* handle)
{
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    const char* caBundle = platform::SettingFromEnvironment("INSTALLER_CA_BUNDLE");
    if (caBundle != nullptr && *caBundle != '\0')
        curl_easy_setopt(handle, CURLOPT_CAINFO, caBundle);
    else if (!CaFile().empty())
        curl_easy_setopt(handle, CURLOPT_CAINFO, CaFile().c_str());
}

long ResponseStatus(CURL* handle)
{
    long status = 0;
    return curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK ? status : -1;
}

} // namespace net
