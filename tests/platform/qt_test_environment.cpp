// The Qt display for the whole test program, on Qt's offscreen platform unless told otherwise.
#include "platform/ui_session.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

class QtDisplayEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        if (!std::getenv("XDG_RUNTIME_DIR")) {
            m_runtimeDir = std::filesystem::temp_directory_path() / ("platform-qt-test-" + std::to_string(getpid()));
            std::filesystem::create_directories(m_runtimeDir);
            std::filesystem::permissions(m_runtimeDir, std::filesystem::perms::owner_all);
            setenv("XDG_RUNTIME_DIR", m_runtimeDir.c_str(), 1);
        }
        platform::InitializeUi();
    }

    void TearDown() override
    {
        platform::ShutdownUi();
        if (!m_runtimeDir.empty())
            std::filesystem::remove_all(m_runtimeDir);
    }

private:
    std::filesystem::path m_runtimeDir;
};

// gtest owns registered environments.
[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new QtDisplayEnvironment);

} // namespace
