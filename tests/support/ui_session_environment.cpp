#include "ui_session_environment.h"

#include "dui/dui.h"
#include "platform/ui_session.h"
#include "skin/skin_resources.h"

#include <cstdlib>

UiSessionEnvironment::UiSessionEnvironment(Skin skin, Start start) : m_skin(skin), m_start(start) {}

void UiSessionEnvironment::SetUp()
{
    if (m_start == Start::BeforeTheTests)
        StartTestUiSession(m_skin);
}

void UiSessionEnvironment::TearDown()
{
    if (platform::UiInitialized())
        platform::ShutdownUi();
}

void StartTestUiSession(UiSessionEnvironment::Skin skin)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    platform::InitializeUi();
    if (skin == UiSessionEnvironment::Skin::Embedded) {
        RegisterSkinResources();
        CPaintManagerUI::SetInstance(GetModuleHandleW(nullptr));
    }
}
