// The package key, from the command line or the first line of packagekey.txt: the rule that
// lets only one plain file name through, the file name made from it, and its place in the
// download URL, which must be one path segment beneath /setup/ that decodes to that name.
#include "fuzz_support.h"

#include "app/package_key.h"
#include "net/package_address.h"
#include "platform/win32_files.h"

#include <curl/curl.h>

#include <cctype>
#include <memory>
#include <optional>

namespace {

constexpr std::string_view kBlanks = " \t\r\n";

bool Trimmed(const std::string& key)
{
    return key.empty() ||
        (kBlanks.find(key.front()) == std::string_view::npos && kBlanks.find(key.back()) == std::string_view::npos);
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The encoded name decoded again; nothing when it holds more than unreserved bytes and %XX.
std::optional<std::string> PercentDecoded(std::string_view encoded)
{
    std::string decoded;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        const char c = encoded[i];
        if (c == '%') {
            if (i + 2 >= encoded.size())
                return std::nullopt;
            const int high = HexValue(encoded[i + 1]);
            const int low = HexValue(encoded[i + 2]);
            if (high < 0 || low < 0)
                return std::nullopt;
            decoded += static_cast<char>(high * 16 + low);
            i += 2;
        } else if (std::isalnum(static_cast<unsigned char>(c)) ||
            std::string_view("-._~").find(c) != std::string_view::npos) {
            decoded += c;
        } else {
            return std::nullopt;
        }
    }
    return decoded;
}

struct CurlUrlCleanup {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

void CheckSafeName(const std::string& key)
{
    const std::string name = MakePackageFileName(key);
    FUZZ_CHECK(name.ends_with(".zip") && name.size() > 4 && name.size() <= 255, name);
    FUZZ_CHECK(name.front() != '.', name);
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        FUZZ_CHECK(byte >= 0x20 && byte != 0x7F && std::string_view("/\\:*?\"<>|").find(c) == std::string_view::npos,
            "a refused character in " + name);
    }
    const std::string encoded = EncodeUrlFileName(name);
    const auto decoded = PercentDecoded(encoded);
    FUZZ_CHECK(decoded && *decoded == name, encoded);

    const std::string base = "https://cdn.courseware.example/setup/";
    const std::string url = PackageUrl(base, name);
    const std::unique_ptr<CURLU, CurlUrlCleanup> parsed(curl_url());
    FUZZ_CHECK(parsed && curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) == CURLUE_OK, url);
    char* host = nullptr;
    char* path = nullptr;
    FUZZ_CHECK(curl_url_get(parsed.get(), CURLUPART_HOST, &host, 0) == CURLUE_OK, url);
    FUZZ_CHECK(curl_url_get(parsed.get(), CURLUPART_PATH, &path, 0) == CURLUE_OK, url);
    const std::string hostText = host;
    const std::string pathText = path;
    curl_free(host);
    curl_free(path);
    FUZZ_CHECK(hostText == "cdn.courseware.example", url);
    FUZZ_CHECK(pathText == "/setup/" + encoded, url + " has the path " + pathText);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(fuzz::Text(data, size));
    const std::string fromCommandLine = FindPackageKey(input, L"");
    FUZZ_CHECK(Trimmed(fromCommandLine), fromCommandLine);

    const std::filesystem::path keyFile = fuzz::ScratchFolder() / "packagekey.txt";
    fuzz::WriteFile(keyFile, input);
    const std::string fromFile = FindPackageKey(std::nullopt, platform::RootedPath(keyFile.string()));
    FUZZ_CHECK(Trimmed(fromFile) && fromFile.find('\n') == std::string::npos, fromFile);

    for (const std::string& key : {input, fromCommandLine, fromFile}) {
        const std::string name = MakePackageFileName(key);
        FUZZ_CHECK(name.ends_with(".zip"), name);
        if (IsSafePackageKey(key))
            CheckSafeName(key);
    }
    return 0;
}
