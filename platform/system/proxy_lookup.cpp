#include "platform/proxy_lookup.h"

#include <proxy.h>

#include <memory>

namespace platform {
namespace {

struct ProxyFactoryFree {
    void operator()(pxProxyFactory* factory) const { px_proxy_factory_free(factory); }
};
struct ProxyListFree {
    void operator()(char** proxies) const { px_proxy_factory_free_proxies(proxies); }
};

} // namespace

std::vector<std::string> DesktopProxiesFor(const std::string& url)
{
    const std::unique_ptr<pxProxyFactory, ProxyFactoryFree> factory(px_proxy_factory_new());
    if (!factory)
        return {};
    const std::unique_ptr<char*, ProxyListFree> proxies(px_proxy_factory_get_proxies(factory.get(), url.c_str()));
    std::vector<std::string> answers;
    for (char** proxy = proxies.get(); proxy != nullptr && *proxy != nullptr; ++proxy)
        answers.emplace_back(*proxy);
    return answers;
}

} // namespace platform
