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
            runtimeDir_ = std::filesystem::temp_directory_path() / ("platform-qt-test-" + std::to_string(getpid()));
            std::filesystem::create_directories(runtimeDir_);
            std::filesystem::permissions(runtimeDir_, std::filesystem::perms::owner_all);
            setenv("XDG_RUNTIME_DIR", runtimeDir_.c_str(), 1);
        }
        platform::InitializeUi();
    }

    void TearDown() override
    {
        platform::ShutdownUi();
        if (!runtimeDir_.empty())
            std::filesystem::remove_all(runtimeDir_);
    }

private:
    std::filesystem::path runtimeDir_;
};

// gtest owns registered environments.
[[maybe_unused]] ::testing::Environment* const environment = ::testing::AddGlobalTestEnvironment(new QtDisplayEnvironment);

} // namespace
