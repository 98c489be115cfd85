// CreateThread handles: waiting for the end, exit codes, closing.
#include "platform/win32_system.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

std::atomic<bool> release{false};

DWORD WaitForRelease(LPVOID parameter)
{
    while (!release)
        Sleep(1);
    return static_cast<DWORD>(reinterpret_cast<UINT_PTR>(parameter));
}

TEST(ThreadsTest, HandleWaitsForTheEndAndGivesTheExitCode)
{
    release = false;
    DWORD id = 0;
    const HANDLE thread = CreateThread(nullptr, 0, WaitForRelease, reinterpret_cast<LPVOID>(UINT_PTR{17}), 0, &id);
    ASSERT_NE(thread, nullptr);
    EXPECT_NE(id, 0u);
    EXPECT_NE(id, GetCurrentThreadId());
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_TIMEOUT);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, STILL_ACTIVE);

    release = true;
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 17u);
    EXPECT_TRUE(CloseHandle(thread));
    EXPECT_FALSE(CloseHandle(thread));
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_FAILED);
}

TEST(ThreadsTest, ClosingTheHandleLeavesTheThreadRunning)
{
    release = false;
    static std::atomic<bool> finished{false};
    finished = false;
    const HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID) -> DWORD {
            WaitForRelease(nullptr);
            finished = true;
            return 0;
        },
        nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(CloseHandle(thread));
    EXPECT_FALSE(finished);
    release = true;
    while (!finished)
        Sleep(1);
}

} // namespace
