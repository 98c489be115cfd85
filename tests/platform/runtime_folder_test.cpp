#include "platform/ui_session.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

TEST(RuntimeFolder, AMissingRuntimeFolderBecomesAPrivateOneAndASetOneStays)
{
    // A temporary folder of the test's own, so the program's real runtime folder is left alone.
    std::string base = (fs::temp_directory_path() / "runtime-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(base.data()), nullptr);
    ::setenv("TMPDIR", base.c_str(), 1);
    const fs::path expected = fs::path(base) / ("installer-runtime-" + std::to_string(::getuid()));

    ::setenv("XDG_RUNTIME_DIR", "/run/user/elsewhere", 1);
    platform::EnsureRuntimeFolder();
    EXPECT_STREQ(std::getenv("XDG_RUNTIME_DIR"), "/run/user/elsewhere");

    ::unsetenv("XDG_RUNTIME_DIR");
    platform::EnsureRuntimeFolder();
    ASSERT_NE(std::getenv("XDG_RUNTIME_DIR"), nullptr);
    EXPECT_EQ(fs::path(std::getenv("XDG_RUNTIME_DIR")), expected);
    struct stat info {};
    ASSERT_EQ(::lstat(expected.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    // A folder of that name that others can enter is not trusted.
    ::chmod(expected.c_str(), 0755);
    ::unsetenv("XDG_RUNTIME_DIR");
    platform::EnsureRuntimeFolder();
    EXPECT_EQ(std::getenv("XDG_RUNTIME_DIR"), nullptr);
    fs::remove_all(base);
}

} // namespace
