// The program-wide proxy setting against the environment's, and libproxy's answers as values of
// --proxy.
#include "net/http_request.h"
#include "net/proxy_setting.h"
#include "net_test_support.h"

#include <gtest/gtest.h>

namespace {

TEST(ProxySettingTest, TheFirstProxyLibcurlCanUseOrDirect)
{
    using Answers = std::vector<std::string>;
    const std::vector<std::pair<Answers, std::string>> cases{{{"http://p:3128", "direct://"}, "http://p:3128"},
        {{"direct://", "http://p:3128"}, "direct"}, {{}, "direct"}, {{"socks://s:1080"}, "socks5://s:1080"},
        {{"wpad://", "ftp://p:21", "https://p:8080"}, "https://p:8080"}, {{"http://"}, "direct"}};
    for (const auto& [answers, value] : cases)
        EXPECT_EQ(net::ProxyValueFromAnswers(answers), value) << value;
}

// The logging proxy answers a plain request itself, with two bytes; the server sends 1000.
TEST(ProxySettingTest, RequestsGoExactlyAsTheSettingSaysWhateverTheEnvironmentSays)
{
    const TempDir dir;
    const TestHttpServer server;
    const ScriptServer proxy(
        {"/usr/bin/python3", SupportScript("logging_proxy.py"), "--log", (dir.Path() / "log").string()});
    const std::string proxyUrl = "http://127.0.0.1:" + proxy.ReadyValue();
    const struct {
        std::optional<std::string> setting, environmentProxy, noProxy;
        int size;
    } cases[] = {{std::nullopt, proxyUrl, std::nullopt, 2}, {"direct", proxyUrl, std::nullopt, 1000},
        {proxyUrl, "http://127.0.0.1:9", "127.0.0.1", 2}};
    for (const auto& c : cases) {
        const ScopedEnv environmentProxy("http_proxy", c.environmentProxy);
        const ScopedEnv noProxy("no_proxy", c.noProxy);
        const auto probed = ProbeRemoteFile(server.Url("/file/1000"), nullptr, c.setting);
        ASSERT_TRUE(probed);
        EXPECT_EQ(probed->version.length, c.size) << c.setting.value_or("unset");
    }
}

} // namespace
