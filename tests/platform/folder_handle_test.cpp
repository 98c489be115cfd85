// Opening beneath a folder handle: no link is followed at any step, and a folder swapped for a
// link while files are opened never leads outside.
#include "platform/folder_handle.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

std::string ReadAll(platform::ReadableFile& file)
{
    std::string text;
    char buffer[256];
    while (const auto got = file.Read(buffer, sizeof buffer)) {
        if (*got == 0)
            break;
        text.append(buffer, *got);
    }
    return text;
}

void Write(const fs::path& path, const std::string& text) { std::ofstream(path) << text; }

class FolderHandleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(m_temp / "root" / "inside");
        fs::create_directories(m_temp / "outside");
        Write(m_temp / "root" / "inside" / "file.txt", "inside");
        Write(m_temp / "outside" / "file.txt", "outside");
        platform::Result<platform::FolderHandle> root =
            platform::FolderHandle::OpenExisting((m_temp / "root").string());
        ASSERT_TRUE(root) << root.Failure().Text();
        m_root.emplace(std::move(root).Value());
    }

    TempFolder m_temp{"folder-handle"};
    std::optional<platform::FolderHandle> m_root;
};

TEST_F(FolderHandleTest, OpensBeneathAndRefusesEveryLinkAndEveryEscape)
{
    fs::create_directory_symlink(m_temp / "outside", m_temp / "root" / "linked");
    fs::create_symlink(m_temp / "outside" / "file.txt", m_temp / "root" / "inside" / "link.txt");
    platform::Result<platform::ReadableFile> file = m_root->OpenFileBeneath("inside/file.txt");
    ASSERT_TRUE(file);
    EXPECT_EQ(ReadAll(*file), "inside");

    for (const char* path : {"linked/file.txt", "inside/link.txt", "../outside/file.txt", "inside/../inside/file.txt",
             "/etc/passwd", "inside//file.txt", "inside", ""}) {
        const platform::Result<platform::ReadableFile> refused = m_root->OpenFileBeneath(path);
        ASSERT_FALSE(refused) << path;
        EXPECT_NE(refused.Failure().code, 0) << path;
    }
}

TEST_F(FolderHandleTest, AFolderSwappedForALinkMidwayNeverLeadsOutside)
{
    // One thread keeps swapping "inside" for a link to "outside" and back while files open.
    std::atomic<bool> stop{false};
    std::thread swapper([&] {
        const fs::path inside = m_temp / "root" / "inside", parked = m_temp / "root" / "parked";
        while (!stop) {
            std::error_code ignored;
            fs::rename(inside, parked, ignored);
            fs::create_directory_symlink(m_temp / "outside", inside, ignored);
            fs::remove(inside, ignored);
            fs::rename(parked, inside, ignored);
        }
    });
    for (int i = 0; i < 5000; ++i) {
        platform::Result<platform::ReadableFile> file = m_root->OpenFileBeneath("inside/file.txt");
        if (file) {
            ASSERT_EQ(ReadAll(*file), "inside");
        }
    }
    stop = true;
    swapper.join();
    // However the race went, the folder is back in place and opens again.
    platform::Result<platform::ReadableFile> file = m_root->OpenFileBeneath("inside/file.txt");
    ASSERT_TRUE(file) << file.Failure().Text();
    EXPECT_EQ(ReadAll(*file), "inside");
}

TEST_F(FolderHandleTest, CreateFileReplacesALinkItselfNeverItsTarget)
{
    fs::create_symlink(m_temp / "outside" / "file.txt", m_temp / "root" / "planted.txt");
    platform::Result<platform::WritableFile> file = m_root->CreateFile("planted.txt", 0644);
    ASSERT_TRUE(file) << file.Failure().Text();
    ASSERT_TRUE(file->Write("new", 3));
    ASSERT_TRUE(file->Close());
    EXPECT_FALSE(fs::is_symlink(m_temp / "root" / "planted.txt"));
    std::ifstream outside(m_temp / "outside" / "file.txt");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(outside), {}), "outside");
}

} // namespace
