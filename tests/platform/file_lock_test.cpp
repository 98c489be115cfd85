// The instance lock: root's own folder and file, and what it refuses.
#include "platform/file_lock.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

namespace {

namespace fs = std::filesystem;

using Folder = platform::FileLock::Folder;

class FileLockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_run = fs::temp_directory_path() / ("file-lock-test-" + std::to_string(getpid()));
        fs::create_directories(m_run);
    }
    void TearDown() override { fs::remove_all(m_run); }

    fs::path m_run; // stands in for /run
};

fs::perms ModeOf(const fs::path& path) { return fs::symlink_status(path).permissions(); }

TEST_F(FileLockTest, RootsOwnFolderIsMadeForTheLockAndHeldByOneAtATime)
{
    const std::string path = (m_run / "installer" / "instance.lock").string();
    const platform::FileLock first(path, Folder::RootsOwn);
    ASSERT_EQ(first.GetState(), platform::FileLock::State::Held) << first.Reason();
    EXPECT_EQ(ModeOf(m_run / "installer"), fs::perms::owner_all);
    EXPECT_EQ(ModeOf(path), fs::perms::owner_read | fs::perms::owner_write);
    const platform::FileLock second(path, Folder::RootsOwn);
    EXPECT_EQ(second.GetState(), platform::FileLock::State::Busy);

    // An ordinary user cannot even open the file, let alone hold its lock.
    if (geteuid() != 0)
        return;
    const pid_t child = fork();
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(2);
        _exit(::open(path.c_str(), O_RDONLY) < 0 && errno == EACCES ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(FileLockTest, RootsOwnRefusesAFolderOrFileThatIsAnythingElse)
{
    const fs::path folder = m_run / "installer";
    const fs::path elsewhere = m_run / "elsewhere";
    struct Case {
        const char* what;
        std::function<void()> plant;
    };
    const std::vector<Case> cases{
        {"a link to a folder", [&] { fs::create_directory_symlink(elsewhere, folder); }},
        {"a file", [&] { std::ofstream(folder) << "x"; }},
        {"others may enter",
            [&] {
                fs::create_directory(folder);
                fs::permissions(folder, fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
            }},
        {"another user's",
            [&] {
                fs::create_directory(folder, elsewhere);
                fs::permissions(folder, fs::perms::owner_all);
                ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
            }},
        {"the lock file a link",
            [&] {
                fs::create_directory(folder);
                fs::permissions(folder, fs::perms::owner_all);
                fs::create_symlink(elsewhere / "target", folder / "instance.lock");
            }},
    };
    for (const Case& c : cases) {
        if (std::string(c.what) == "another user's" && geteuid() != 0)
            continue;
        fs::remove_all(folder);
        fs::remove_all(elsewhere);
        fs::create_directory(elsewhere);
        fs::permissions(elsewhere, fs::perms::owner_all);
        c.plant();
        const platform::FileLock lock((folder / "instance.lock").string(), Folder::RootsOwn);
        EXPECT_EQ(lock.GetState(), platform::FileLock::State::Unavailable) << c.what;
        EXPECT_FALSE(lock.Reason().empty()) << c.what;
        EXPECT_TRUE(fs::is_empty(elsewhere)) << c.what; // nothing made through a link
    }
}

} // namespace
