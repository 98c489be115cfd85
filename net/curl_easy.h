// libcurl easy handles owned by RAII, and the options every request of the installer shares.
// Internal to net/: the public headers do not expose libcurl.
#pragma once

#include "net/proxy_setting.h"

#include <curl/curl.h>

#include <memory>

namespace net {

struct CurlEasyCleanup {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyCleanup>;

// A fresh handle, or an empty one when libcurl cannot make it. It goes through `proxy`
// (net/proxy_setting.h) when that is set.
CurlEasy MakeCurlEasy(const ProxySetting& proxy);

// Verifies the TLS peer and its host name; INSTALLER_CA_BUNDLE, when set, else the site
// settings' ca_file, names the CA file to trust instead of the system's.
void UseVerifiedTls(CURL* handle);

// The answer's status so far; protocols without one (file://) report 0, -1 when unknown.
long ResponseStatus(CURL* handle);

inline bool IsSuccessStatus(long status) { return status >= 200 && status <= 299; }

} // namespace net
