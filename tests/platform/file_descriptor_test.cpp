// RetryOnInterrupt against a real signal that cuts a blocking read short.
#include "platform/system/file_descriptor.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

void NoteSignal(int) {}

TEST(RetryOnInterruptTest, AReadCutShortByASignalIsCalledAgainUntilItReads)
{
    // Without SA_RESTART, so that the kernel hands EINTR back to the caller.
    struct sigaction action {};
    action.sa_handler = NoteSignal;
    struct sigaction previous {};
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const platform::FileDescriptor readEnd(fds[0]), writeEnd(fds[1]);

    std::atomic<int> calls{0};
    std::atomic<bool> done{false};
    const pthread_t reader = ::pthread_self();
    std::thread interrupter([&] {
        // Signals until the reader has been cut short and called again, then gives it a byte.
        while (calls.load() < 2 && !done.load()) {
            ::pthread_kill(reader, SIGUSR1);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_EQ(::write(writeEnd.get(), "k", 1), 1);
    });
    char byte = 0;
    const ssize_t got = platform::RetryOnInterrupt([&] {
        ++calls;
        return ::read(readEnd.get(), &byte, 1);
    });
    done = true;
    interrupter.join();
    ::sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_EQ(got, 1);
    EXPECT_EQ(byte, 'k');
    EXPECT_GE(calls.load(), 2);
}

TEST(RetryOnInterruptTest, OtherFailuresAndEndOfFileReturnAtOnce)
{
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    platform::FileDescriptor readEnd(fds[0]), writeEnd(fds[1]);
    writeEnd.Reset(); // the reader sees the end of the pipe
    char byte = 0;
    int calls = 0;
    EXPECT_EQ(platform::RetryOnInterrupt([&] { return ++calls, ::read(readEnd.get(), &byte, 1); }), 0);
    EXPECT_EQ(platform::RetryOnInterrupt([&] { return ++calls, ::read(-1, &byte, 1); }), -1);
    EXPECT_EQ(errno, EBADF);
    EXPECT_EQ(calls, 2);
}

} // namespace
