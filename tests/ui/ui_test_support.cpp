#include "ui_test_support.h"

#include "platform/paint_surface.h"
#include "platform/user_text_trace.h"
#include "skin/skin_resources.h"
#include "ui/message_dialog.h"
#include "ui_session_environment.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWindow>

#include <gtest/gtest.h>

#include <mutex>
#include <string>

namespace ui_testing {
namespace {

// The offscreen display and the embedded skin for the whole test program.
[[maybe_unused]] const ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new UiSessionEnvironment);

std::function<void(HWND)> pendingAct;
bool actRan = false;

BOOL FindVisibleDialog(HWND hwnd, LPARAM found)
{
    // The dialog's window text; only then is the window known to hold a CWindowWnd.
    wchar_t text[16] = {};
    GetWindowTextW(hwnd, text, 16);
    if (IsWindowVisible(hwnd) && std::wstring_view(text) == L"msgwnd2") {
        *reinterpret_cast<HWND*>(found) = hwnd;
        return FALSE;
    }
    return TRUE;
}

void CheckForDialog(HWND, UINT, UINT_PTR, DWORD)
{
    if (!pendingAct)
        return;
    HWND dialog = nullptr;
    EnumWindows(FindVisibleDialog, reinterpret_cast<LPARAM>(&dialog));
    if (!dialog)
        return;
    auto act = std::move(pendingAct);
    pendingAct = nullptr;
    actRan = true;
    act(dialog);
}

} // namespace

void PressKey(HWND hwnd, int qtKey)
{
    QWindow* native = platform::NativeWindowOf(hwnd);
    ASSERT_TRUE(native);
    QKeyEvent press(QEvent::KeyPress, qtKey, Qt::NoModifier);
    QCoreApplication::sendEvent(native, &press);
    QKeyEvent release(QEvent::KeyRelease, qtKey, Qt::NoModifier);
    QCoreApplication::sendEvent(native, &release);
}

WindowImplBase* WindowObjectOf(HWND hwnd)
{
    auto* object = reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return dynamic_cast<WindowImplBase*>(object);
}

WhenDialogShows::WhenDialogShows(std::function<void(HWND dialog)> act)
{
    pendingAct = std::move(act);
    actRan = false;
    m_timer = SetTimer(nullptr, 0, 5, CheckForDialog);
}

WhenDialogShows::~WhenDialogShows()
{
    KillTimer(nullptr, m_timer);
    pendingAct = nullptr;
}

bool WhenDialogShows::Ran() const { return actRan; }

struct TraceRecorder::State {
    mutable std::mutex mutex;
    std::vector<std::wstring> lines;
};

TraceRecorder::TraceRecorder() : m_state(std::make_shared<State>())
{
    platform::SetUserTextTrace([state = m_state](std::wstring_view text) {
        std::lock_guard lock(state->mutex);
        state->lines.emplace_back(text);
    });
}

TraceRecorder::~TraceRecorder() { platform::SetUserTextTrace(nullptr); }

std::vector<std::wstring> TraceRecorder::Lines() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->lines;
}

UILIB_RESOURCETYPE OwnerWindow::GetResourceType() const { return UILIB_ZIPRESOURCE; }

UINT OwnerWindow::GetResourceID() const { return kSkinResourceId; }

LRESULT OwnerWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE && journal)
        journal->push_back("owner WM_CLOSE");
    return WindowImplBase::HandleMessage(message, wParam, lParam);
}

HWND OwnerWindow::CreateShown()
{
    const HWND hwnd = Create(nullptr, L"owner", WS_POPUP | WS_VISIBLE, 0);
    EXPECT_TRUE(IsWindow(hwnd));
    return hwnd;
}

} // namespace ui_testing
