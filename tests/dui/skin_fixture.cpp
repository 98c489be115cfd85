#include "skin_fixture.h"

#include "dui/skin_archive.h"
#include "skin/skin_resources.h"
#include "ui_session_environment.h"

#include <gtest/gtest.h>

namespace {

// The tests bring the session up where they need it (some run without one).
const auto* const g_uiEnvironment = ::testing::AddGlobalTestEnvironment(
    new UiSessionEnvironment(UiSessionEnvironment::Skin::Embedded, UiSessionEnvironment::Start::OnFirstUse));

} // namespace

void PrepareSkinTests() { StartTestUiSession(); }

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
