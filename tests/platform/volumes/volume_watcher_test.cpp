#include "platform/volume_table.h"
#include "platform/volumes/volume_watcher.h"
#include "volume_map_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace {

constexpr DWORD Bit(wchar_t letter) { return DWORD{1} << (letter - L'A'); }

struct Change {
    DWORD arrived;
    DWORD removed;
};

class ChangeLog {
public:
    void Add(DWORD arrived, DWORD removed)
    {
        std::lock_guard lock(m_mutex);
        m_changes.push_back({arrived, removed});
        m_cv.notify_all();
    }
    // The next change, or nothing within a generous bound.
    std::optional<Change> Next()
    {
        std::unique_lock lock(m_mutex);
        if (!m_cv.wait_for(lock, std::chrono::seconds(10), [&] { return !m_changes.empty(); }))
            return std::nullopt;
        const Change change = m_changes.front();
        m_changes.pop_front();
        return change;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<Change> m_changes;
};

TEST(VolumeWatcher, ReportsSticksPulledAndPluggedInAsLetterMasks)
{
    VolumeMapFixture fixture;
    const auto stick = fixture.Folder("stick");
    fixture.Write("C fixed " + fixture.Folder("disk").string() + "\nE removable " + stick.string() + "\nF removable " +
        (fixture.Dir() / "second").string() + "\n");
    platform::VolumeTable table(fixture.MapFile().string());
    EXPECT_EQ(platform::PresentDriveMask(table), Bit(L'C') | Bit(L'E'));

    ChangeLog log;
    platform::VolumeWatcher watcher(table, [&](DWORD arrived, DWORD removed) { log.Add(arrived, removed); });

    std::filesystem::remove(stick); // the stick is pulled
    auto change = log.Next();
    ASSERT_TRUE(change);
    EXPECT_EQ(change->arrived, 0u);
    EXPECT_EQ(change->removed, Bit(L'E'));

    fixture.Folder("second"); // another one is plugged in
    change = log.Next();
    ASSERT_TRUE(change);
    EXPECT_EQ(change->arrived, Bit(L'F'));
    EXPECT_EQ(change->removed, 0u);

    // Rewriting the map moves a drive: one change with both masks.
    fixture.Write(
        "C fixed " + (fixture.Dir() / "disk").string() + "\nG removable " + (fixture.Dir() / "second").string() + "\n");
    change = log.Next();
    ASSERT_TRUE(change);
    EXPECT_EQ(change->arrived, Bit(L'G'));
    EXPECT_EQ(change->removed, Bit(L'F'));
}

TEST(VolumeWatcher, StopsPromptlyWhenDestroyed)
{
    VolumeMapFixture fixture;
    platform::VolumeTable table(fixture.MapFile().string());
    {
        platform::VolumeWatcher watcher(table, [](DWORD, DWORD) {});
    }
    SUCCEED();
}

} // namespace
