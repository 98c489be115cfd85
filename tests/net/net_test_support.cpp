#include "net_test_support.h"

#include "net/file_downloader.h"

#include <chrono>
#include <thread>

std::string PatternBytes(std::size_t count)
{
    std::string bytes(count, '\0');
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<char>(((i % 251) * 31 + 7) % 256);
    }
    return bytes;
}

bool WaitUntilEnded(const FileDownloader& downloader)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!downloader.IsFinished() && !downloader.IsFailed()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}
