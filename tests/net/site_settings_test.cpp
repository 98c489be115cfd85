// The site settings files: the main file, then the drop-ins in name order, a later line winning.
#include "net/site_settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

// A folder of the build tree: only root may write above it, as above /etc.
TEST(SiteSettings, DropInsFollowTheMainFileInNameOrderAndALaterLineWins)
{
    const fs::path folder = fs::path(NET_TEST_BUILD_DIR) / "site-settings-order";
    fs::remove_all(folder);
    fs::create_directories(folder / "installer.conf.d");
    std::ofstream(folder / "installer.conf") << "proxy = direct\r\n  # comment\n\nsize_probe_timeout_s = 5\n";
    std::ofstream(folder / "installer.conf.d/20-b.conf") << "size_probe_timeout_s = 9\n";
    std::ofstream(folder / "installer.conf.d/10-a.conf")
        << "size_probe_timeout_s = 7\nstorage_urls = http://m/setup/   https://s/setup/\n";
    std::ofstream(folder / "installer.conf.d/notes.txt") << "not a setting\n";
    const auto settings = net::LoadSiteSettings(folder.string());
    fs::remove_all(folder);
    ASSERT_TRUE(settings) << settings.Failure();
    EXPECT_EQ(settings->proxy, "direct");
    EXPECT_EQ(settings->sizeProbeTimeout, std::chrono::seconds(9));
    EXPECT_EQ(settings->storageUrls, (std::vector<std::string>{"http://m/setup/", "https://s/setup/"}));
    EXPECT_FALSE(settings->firstByteTimeout);
}

} // namespace
