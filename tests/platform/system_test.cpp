// The program's module path, embedded resources and debug output.
#include "platform/win32_files.h"
#include "platform/win32_system.h"

#include "file_bytes.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace {

TEST(ModuleTest, FileNameIsTheExecutableAsARootedPath)
{
    const HMODULE module = GetModuleHandleW(nullptr);
    ASSERT_NE(module, nullptr);
    wchar_t buffer[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    ASSERT_GT(length, 0u);
    const std::wstring path(buffer, length);
    EXPECT_EQ(path, platform::RootedPath(std::filesystem::read_symlink("/proc/self/exe").string()));
    EXPECT_EQ(path.front(), L'\\');
    EXPECT_EQ(path.find(L'/'), std::wstring::npos);
    EXPECT_EQ(GetModuleFileNameW(module, buffer, MAX_PATH), length);

    // Too small: cut, terminated, and the size comes back.
    wchar_t small[5];
    EXPECT_EQ(GetModuleFileNameW(nullptr, small, 5), 5u);
    EXPECT_EQ(std::wstring(small), path.substr(0, 4));
    EXPECT_EQ(GetModuleFileNameW(nullptr, small, 0), 0u);
    EXPECT_EQ(GetModuleHandleW(L"other.dll"), nullptr);
}

TEST(ResourcesTest, FoundByTypeAndIdAsRegistered)
{
    static const char zip[] = "PK-zip-bytes";
    static const char icon[] = "png-bytes";
    static const char replacement[] = "newer";
    platform::RegisterResource(L"ZIPRES", 108, zip, sizeof zip);
    platform::RegisterResource(RT_ICON, 101, icon, sizeof icon);

    const struct {
        const wchar_t* type;
        const wchar_t* name;
        const void* data;
    } cases[] = {
        {L"ZIPRES", MAKEINTRESOURCEW(108), zip}, {L"zipres", MAKEINTRESOURCEW(108), zip}, // type names ignore case
        {L"ZIPRES", L"#108", zip}, // "#id" names the same resource
        {RT_ICON, MAKEINTRESOURCEW(101), icon}, {L"ZIPRES", MAKEINTRESOURCEW(101), nullptr},
        {RT_ICON, MAKEINTRESOURCEW(108), nullptr}, {L"ZIPRES", L"108", nullptr}, {L"ZIPRES", L"#", nullptr},
        {L"ICON", MAKEINTRESOURCEW(101), nullptr}, // a name is not the integer type
    };
    const HMODULE module = GetModuleHandleW(nullptr);
    for (const auto& c : cases) {
        const HRSRC found = FindResourceW(module, c.name, c.type);
        if (!c.data) {
            EXPECT_EQ(found, nullptr);
            continue;
        }
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(LockResource(LoadResource(module, found)), c.data);
        EXPECT_EQ(SizeofResource(module, found), c.data == zip ? sizeof zip : sizeof icon);
    }

    platform::RegisterResource(L"zipRes", 108, replacement, sizeof replacement);
    const HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(108), L"ZIPRES");
    EXPECT_EQ(LockResource(LoadResource(nullptr, found)), replacement);
    EXPECT_EQ(SizeofResource(nullptr, found), sizeof replacement);
}

TEST(DebugOutputTest, LinesGoToTheNamedFileOnlyWhenAsked)
{
    const auto path = std::filesystem::temp_directory_path() / ("debug-output-" + std::to_string(getpid()) + ".log");
    std::filesystem::remove(path);

    unsetenv("INSTALLER_DEBUG_OUTPUT");
    OutputDebugStringW(L"silent");
    setenv("INSTALLER_DEBUG_OUTPUT", path.c_str(), 1);
    OutputDebugStringW(L"正在写入文件 42.00%");
    OutputDebugStringW(L"ends with a newline\n");
    setenv("INSTALLER_DEBUG_OUTPUT", "", 1);
    OutputDebugStringW(L"silent again");
    unsetenv("INSTALLER_DEBUG_OUTPUT");

    EXPECT_EQ(ReadFileBytes(path), "正在写入文件 42.00%\nends with a newline\n");
    std::filesystem::remove(path);
}

} // namespace
