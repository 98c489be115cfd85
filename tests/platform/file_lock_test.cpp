// The instance lock in a folder of root's own, and what it refuses to lock in.
#include "platform/file_lock.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

namespace {

namespace fs = std::filesystem;

TEST(FileLockTest, RootsOwnFolderIsMadeForTheLockAndAnythingElseIsRefused)
{
    const fs::path run = fs::temp_directory_path() / ("file-lock-test-" + std::to_string(getpid())); // a /run
    const fs::path folder = run / "installer";
    const fs::path elsewhere = run / "elsewhere";
    const std::string path = (folder / "lock").string();
    fs::create_directories(elsewhere);
    {
        const platform::FileLock first(path, platform::FileLock::Folder::RootsOwn);
        ASSERT_EQ(first.GetState(), platform::FileLock::State::Held) << first.Reason();
        EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all);
        EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);
        EXPECT_EQ(
            platform::FileLock(path, platform::FileLock::Folder::RootsOwn).GetState(), platform::FileLock::State::Busy);
    }
    const auto ownFolder = [&] {
        fs::create_directory(folder);
        fs::permissions(folder, fs::perms::owner_all);
    };
    const std::vector<std::pair<const char*, std::function<void()>>> plants{
        {"a link", [&] { fs::create_directory_symlink(elsewhere, folder); }},
        {"open to others", [&] { ownFolder(), fs::permissions(folder, fs::perms::all); }},
        {"another user's", [&] { ownFolder(), (void)!::chown(folder.c_str(), 65534, 65534); }},
        {"a linked file", [&] { ownFolder(), fs::create_symlink(elsewhere / "f", path); }}};
    for (const auto& [what, plant] : plants) {
        fs::remove_all(folder);
        plant();
        const platform::FileLock lock(path, platform::FileLock::Folder::RootsOwn);
        EXPECT_EQ(lock.GetState(), platform::FileLock::State::Unavailable) << what;
        EXPECT_TRUE(fs::is_empty(elsewhere)) << what;
    }
    fs::remove_all(run);
}

} // namespace
