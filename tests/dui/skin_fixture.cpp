#include "skin_fixture.h"

#include "dui/skin_archive.h"
#include "platform/ui_session.h"
#include "skin/skin_resources.h"

#include <gtest/gtest.h>

namespace {

// The GUI application ends before static destruction, as a program's UiSession ends it.
class UiEnvironment : public ::testing::Environment {
public:
    void TearDown() override
    {
        if (platform::UiInitialized())
            platform::ShutdownUi();
    }
};

const auto* const g_uiEnvironment = ::testing::AddGlobalTestEnvironment(new UiEnvironment);

} // namespace

void PrepareSkinTests()
{
    platform::InitializeUi();
    RegisterSkinResources();
}

BuiltLayout BuildSkinLayout(LPCTSTR layout)
{
    PrepareSkinTests();
    BuiltLayout built;
    built.manager = std::make_unique<CPaintManagerUI>();
    const auto archive = SkinArchive::FromResource(CPaintManagerUI::GetInstance(), kSkinResourceId);
    EXPECT_TRUE(archive) << "embedded skin archive";
    built.manager->SetSkin(archive, L"");
    CDialogBuilder builder;
    built.root = builder.Create(layout, built.manager.get());
    EXPECT_TRUE(built.root) << builder.GetLastError().ToUtf8();
    built.manager->AttachDialog(built.root);
    built.manager->UpdateLayout();
    return built;
}

RECT ControlRect(CPaintManagerUI& manager, LPCTSTR name)
{
    const CControlUI* control = manager.FindControl(name);
    EXPECT_TRUE(control) << CDuiString(name).ToUtf8();
    return control ? control->GetPos() : RECT{};
}
