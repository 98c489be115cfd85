#include "app/startup.h"

#include "app/main_window.h"
#include "platform/ui_session.h"
#include "skin/skin_resources.h"

int RunInstaller(HINSTANCE instance)
{
    RegisterSkinResources();
    const bool ownsUi = !platform::UiInitialized();
    if (ownsUi)
        platform::InitializeUi();

    CPaintManagerUI::SetInstance(instance);
    CPaintManagerUI::SetResourcePath(CPaintManagerUI::GetInstancePath());
    {
        CDuiFrameWnd frame;
        frame.Create(nullptr, L"DuiWnd", WS_OVERLAPPEDWINDOW | WS_VISIBLE, WS_EX_WINDOWEDGE, CW_USEDEFAULT,
                     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr);
        const HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(static_cast<WORD>(kIconResourceId)));
        SendMessageW(frame.GetHWND(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        frame.CenterWindow();
        frame.ShowModal();
    }
    if (ownsUi)
        platform::ShutdownUi();
    return 0;
}
