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
    if (!settings && settings.Failure().find(": not used: folder ") != std::string::npos)
        GTEST_SKIP() << "the build tree lies where others may write: " << settings.Failure();
    ASSERT_TRUE(settings) << settings.Failure();
    EXPECT_EQ(settings->proxy, "direct");
    EXPECT_EQ(settings->sizeProbeTimeout, std::chrono::seconds(9));
    EXPECT_EQ(settings->storageUrls, (std::vector<std::string>{"http://m/setup/", "https://s/setup/"}));
    EXPECT_FALSE(settings->firstByteTimeout);
}

// A folder everyone may write, further up: taken with the sticky bit (as /tmp), refused without.
TEST(SiteSettings, AFolderFurtherUpMayBeRootsStickyOne)
{
    const fs::path outer = fs::path(NET_TEST_BUILD_DIR) / "site-settings-sticky";
    fs::remove_all(outer);
    fs::create_directories(outer / "settings");
    fs::permissions(outer / "settings", fs::perms(0755));
    std::ofstream(outer / "settings/installer.conf") << "proxy = direct\n";
    fs::permissions(outer / "settings/installer.conf", fs::perms(0644));
    for (const auto& [mode, taken] : {std::pair{01777, true}, std::pair{0777, false}}) {
        fs::permissions(outer, fs::perms(mode));
        const auto settings = net::LoadSiteSettings((outer / "settings").string());
        EXPECT_EQ(static_cast<bool>(settings), taken) << std::oct << mode;
    }
    fs::remove_all(outer);
}

} // namespace
