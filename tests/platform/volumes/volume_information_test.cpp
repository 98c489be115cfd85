// GetVolumeInformationW through a volume map, and letters that follow real mounts.
#include "platform/win32.h"
#include "scratch_mount.h"
#include "volume_map_fixture.h"

#include <gtest/gtest.h>

#include <iostream>

namespace {

struct Information {
    BOOL ok = FALSE;
    std::wstring label;
    std::wstring fileSystem;
};

Information VolumeInformation(LPCWSTR root)
{
    WCHAR label[64] = L"?";
    WCHAR fileSystem[16] = L"?";
    Information info;
    info.ok = GetVolumeInformationW(root, label, 64, nullptr, nullptr, nullptr, fileSystem, 16);
    info.label = label;
    info.fileSystem = fileSystem;
    return info;
}

TEST(GetVolumeInformation, NamesTheFileSystemOfAMapLineTheWindowsWay)
{
    VolumeMapFixture fixture;
    const auto folder = fixture.Folder("drive").string();
    fixture.Write("D fixed " + folder + " fs=vfat\nE removable " + folder + " fs=msdos\nF removable " + folder +
        " fs=exfat\nG fixed " + folder + " fs=ntfs3\nH fixed " + folder + " fs=ext4\nI removable " + folder +
        " fs=fuseblk\n");
    const struct {
        LPCWSTR root;
        LPCWSTR fileSystem;
    } rows[] = {{L"D:\\", L"FAT32"}, {L"e:", L"FAT32"}, {L"F:\\", L"exFAT"}, {L"G:\\", L"NTFS"}, {L"H:\\", L"EXT4"},
        {L"I:\\", L"FUSEBLK"}};
    for (const auto& row : rows) {
        const Information info = VolumeInformation(row.root);
        EXPECT_TRUE(info.ok) << row.root;
        EXPECT_EQ(info.fileSystem, row.fileSystem) << row.root;
        EXPECT_EQ(info.label, L"") << row.root;
    }

    EXPECT_FALSE(VolumeInformation(L"Q:\\").ok);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    WCHAR tooSmall[5];
    EXPECT_FALSE(GetVolumeInformationW(L"D:\\", nullptr, 0, nullptr, nullptr, nullptr, tooSmall, 5)); // "FAT32" + '\0'
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
}

// A `mounted` letter has a volume only while a real file system is mounted on its folder, and
// reports that file system's type when the line names none.
TEST(GetVolumeInformation, AMountedLetterFollowsARealMount)
{
    VolumeMapFixture fixture;
    const auto first = fixture.Folder("tmpfs stick");
    const auto second = fixture.Folder("exfat stick");
    fixture.Write("C fixed " + fixture.Folder("disk").string() + "\nE removable " + first.string() +
        " mounted\nF removable " + second.string() + " mounted\n");
    const struct {
        ScratchMount::Kind kind;
        std::filesystem::path folder;
        LPCWSTR root;
        LPCWSTR fileSystem;
        const char* label;
    } rows[] = {{ScratchMount::Kind::Tmpfs, first, L"E:\\", L"TMPFS", ""},
        {ScratchMount::Kind::ExfatImage, second, L"F:\\", L"exFAT", "课件U盘"}};
    for (const auto& row : rows) {
        EXPECT_EQ(GetDriveTypeW(row.root), DRIVE_NO_ROOT_DIR); // a plain folder is no stick
        ScratchMount mount(row.kind, row.folder, 64ull << 20, row.label);
        if (!mount.SkipReason().empty()) {
            std::cout << "[  SKIPPED ] " << mount.SkipReason() << std::endl;
            continue;
        }
        EXPECT_EQ(GetDriveTypeW(row.root), DRIVE_REMOVABLE);
        const Information info = VolumeInformation(row.root);
        EXPECT_EQ(info.fileSystem, row.fileSystem);
        EXPECT_EQ(platform::Narrow(info.label), row.label);
        mount.Pull();
        EXPECT_EQ(GetDriveTypeW(row.root), DRIVE_NO_ROOT_DIR);
        EXPECT_TRUE(std::filesystem::is_directory(row.folder));
    }
}

} // namespace
