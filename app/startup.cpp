#include "app/startup.h"

#include "app/main_window.h"
#include "platform/ui_session.h"
#include "skin/skin_resources.h"
#include "ui/message_dialog.h"
#include "ui/user_texts.h"

namespace {

// The skin and the GUI library's instance, and the UI itself unless the caller brought it up;
// the UI goes down again with the object when it was brought up here.
class SkinnedUi {
public:
    explicit SkinnedUi(HINSTANCE instance) : m_ownsUi(!platform::UiInitialized())
    {
        RegisterSkinResources();
        if (m_ownsUi)
            platform::InitializeUi();
        CPaintManagerUI::SetInstance(instance);
        CPaintManagerUI::SetResourcePath(CPaintManagerUI::GetInstancePath());
    }
    ~SkinnedUi()
    {
        if (m_ownsUi)
            platform::ShutdownUi();
    }
    SkinnedUi(const SkinnedUi&) = delete;
    SkinnedUi& operator=(const SkinnedUi&) = delete;

private:
    const bool m_ownsUi;
};

} // namespace

RunOutcome RunInstaller(HINSTANCE instance, const RunOptions& options)
{
    const SkinnedUi ui(instance);
    {
        CDuiFrameWnd frame(options);
        frame.Create(nullptr, L"DuiWnd", WS_OVERLAPPEDWINDOW | WS_VISIBLE, WS_EX_WINDOWEDGE, CW_USEDEFAULT,
            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr);
        const HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(static_cast<WORD>(kIconResourceId)));
        SendMessageW(frame.GetHWND(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        frame.CenterWindow();
        frame.ShowModal();
        return frame.m_outcome;
    }
}

void ShowAlreadyRunning(HINSTANCE instance, bool unattended)
{
    const SkinnedUi ui(instance);
    ShowMessage(nullptr, text::kCaption, text::kAlreadyRunning, kOneButtonMessage, AnswerFor(unattended));
}

void ShowNoAdministratorRights(HINSTANCE instance, bool unattended)
{
    const SkinnedUi ui(instance);
    ShowMessage(nullptr, text::kCaption, text::kNoAdministratorRights, kOneButtonMessage, AnswerFor(unattended));
}
