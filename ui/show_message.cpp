// ShowMessage: makes a CMsgWnd2 on the UI thread, puts it on top and runs it modally.
#include "ui/message_dialog.h"

#include "platform/ui_thread.h"
#include "platform/user_text_trace.h"

namespace {

// On the UI thread. The dialog object belongs to its window from Create on: it deletes itself
// when the window is destroyed, so nothing here touches it once ShowModal has returned.
unsigned RunMessageDialog(HWND owner, LPCTSTR text, MessageKind kind, DialogAnswer answer)
{
    auto* dialog = new CMsgWnd2();
    const bool cancelIsDefault = (kind & kCancelIsDefault) != 0;
    dialog->m_answerItself = answer == DialogAnswer::ByItself;
    kind &= ~kCancelIsDefault;
    if (kind == kOneButtonMessage)
        dialog->m_singleButton = 1; // before Create, which reads the layout
    const CLifeWatch alive = dialog->Watch();
    const HWND hwnd = dialog->Create(owner, L"msgwnd2", WS_POPUP | WS_CLIPCHILDREN, WS_EX_TOOLWINDOW);
    if (!hwnd || !IsWindow(hwnd)) {
        // No window (an owner that is already gone, for one): nothing is shown. A window that
        // was made and destroyed again has deleted the object with it.
        if (alive.Alive())
            delete dialog;
        return 0;
    }
    dialog->CenterWindow();
    dialog->SetMessageText(text);
    if (cancelIsDefault)
        dialog->MakeCancelTheDefault();
    SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
    BringWindowToTop(hwnd);
    UpdateWindow(hwnd);
    return dialog->ShowModal();
}

} // namespace

unsigned ShowMessage(HWND owner, LPCTSTR caption, LPCTSTR text, MessageKind kind)
{
    return ShowMessage(owner, caption, text, kind, DialogAnswer::ByUser);
}

unsigned ShowMessage(HWND owner, LPCTSTR caption, LPCTSTR text, MessageKind kind, DialogAnswer answer)
{
    // The caption is part of the call's shape only: the layouts have no title to show it in.
    static_cast<void>(caption);
    const LPCTSTR shown = text ? text : L"";
    platform::TraceUserText(shown);
    unsigned result = 0;
    // Runs here on the UI thread; a worker waits while the UI thread runs it. Nothing runs,
    // and the answer is 0, once the UI thread has ended.
    platform::InvokeOnUiThread([&] { result = RunMessageDialog(owner, shown, kind, answer); });
    return result;
}
