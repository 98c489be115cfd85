// PrepareInstallation against a loopback server serving real files: the key's refusals, the
// storage's answers that stop a run, the fall-back to the next storage, and what it hands back.
#include "app/install_preparation.h"
#include "net/package_address.h"
#include "script_server.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kPackageSize = 2 * 1048576;

void WriteFileOfSize(const fs::path& path, std::int64_t size)
{
    std::ofstream(path, std::ios::binary).close();
    fs::resize_file(path, static_cast<std::uintmax_t>(size));
}

DriveInfo DownloadDisk()
{
    DriveInfo disk;
    disk.driveName = L"D:";
    return disk;
}

std::optional<ProbedFile> RealProbe(const std::string& url)
{
    return ProbeRemoteFile(url, nullptr, std::string("direct")).value_or(ProbedFile{});
}

class PrepareInstallationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteFileOfSize(m_files / "语文三年级上.zip", kPackageSize);
        WriteFileOfSize(m_files / "small.zip", 1000);
        packageFileName.clear();
    }
    void TearDown() override
    {
        activeCloudBaseUrl.clear();
        activeCloudBaseUrlFallbacks.clear();
    }

    // "{server}" in `base` is the loopback server's address.
    std::string Base(std::string base) const
    {
        if (const auto at = base.find("{server}"); at != std::string::npos)
            base.replace(at, 8, "http://127.0.0.1:" + m_server.ReadyValue());
        return base;
    }

    TempFolder m_files{"prepare-installation"};
    ScriptServer m_server{
        {"/usr/bin/python3", SupportScript("http_test_server.py"), "--files", m_files.Path().string()}};
    const DriveInfo m_disk = DownloadDisk();
};

TEST_F(PrepareInstallationTest, StopsOrHandsBackWhatTheStorageAndTheKeySay)
{
    const std::string refused = "http://127.0.0.1:9/setup/"; // nothing listens there
    const struct {
        const char* what;
        std::string key;
        std::vector<std::string> bases; // activeCloudBaseUrl, then the fall-backs
        std::optional<PreparationStop> stop; // none: prepared, from the last base
    } cases[] = {
        {"no key", "", {"{server}/setup/"}, PreparationStop::NoPackageKey},
        {"a key that makes a path", "a/b", {"{server}/setup/"}, PreparationStop::BadPackageKey},
        {"an error page's length", "small", {"{server}/setup/"}, PreparationStop::PackageMissing},
        {"no such package", "absent", {"{server}/setup/"}, PreparationStop::PackageMissing},
        {"a proxy wants credentials", "语文三年级上", {"{server}/status/407/"}, PreparationStop::ProxyRefused},
        {"a failing storage", "语文三年级上", {"{server}/status/503/"}, PreparationStop::StorageFailing},
        {"a failing storage is an answer", "语文三年级上", {"{server}/status/503/", "{server}/setup/"},
            PreparationStop::StorageFailing},
        {"a package", "语文三年级上-2", {"{server}/setup/"}, std::nullopt},
        {"an unreachable storage falls back", "语文三年级上", {refused, "{server}/setup/"}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        activeCloudBaseUrl = Base(c.bases.front());
        activeCloudBaseUrlFallbacks.clear();
        for (auto base = c.bases.begin() + 1; base != c.bases.end(); ++base)
            activeCloudBaseUrlFallbacks.push_back(Base(*base));
        const auto prepared = PrepareInstallation(c.key, m_disk, RealProbe);
        EXPECT_TRUE(packageFileName.empty()); // the caller keeps the name, not the preparation
        if (c.stop) {
            ASSERT_FALSE(prepared);
            EXPECT_EQ(prepared.Failure(), *c.stop);
            continue;
        }
        ASSERT_TRUE(prepared);
        EXPECT_EQ(prepared->fileName, "语文三年级上.zip");
        EXPECT_EQ(prepared->workFolder, "D:\\kelvo\\");
        EXPECT_EQ(prepared->archivePath, "D:\\kelvo\\语文三年级上.zip");
        EXPECT_EQ(prepared->url, PackageUrl(Base(c.bases.back()), "语文三年级上.zip"));
        EXPECT_EQ(prepared->probed.length, kPackageSize);
        EXPECT_FALSE(prepared->probed.validator.empty());
    }
}

TEST_F(PrepareInstallationTest, AKeyThatFailsIsNeverProbedAndAnAbandonedProbeSaysNothing)
{
    activeCloudBaseUrl = Base("{server}/setup/");
    int probes = 0;
    const SizeProbe counting = [&probes](const std::string&) -> std::optional<ProbedFile> {
        ++probes;
        return std::nullopt; // the run gave up waiting
    };
    EXPECT_EQ(PrepareInstallation("a\\b", m_disk, counting).Failure(), PreparationStop::BadPackageKey);
    EXPECT_EQ(probes, 0);
    const auto abandoned = PrepareInstallation("语文三年级上", m_disk, counting);
    EXPECT_EQ(abandoned.Failure(), PreparationStop::Abandoned);
    EXPECT_EQ(PreparationStopText(abandoned.Failure()), nullptr);
    EXPECT_EQ(probes, 1);
}

} // namespace
