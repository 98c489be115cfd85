// Windows of the ui library on Qt's offscreen display, driven as a user drives them: clicks as
// WM_LBUTTONDOWN/UP at a control's centre, keys through the native window.
#pragma once

#include "control_click.h"

#include "dui/dui.h"

#include <functional>
#include <vector>

namespace ui_testing {

// The centre of the named control, in client coordinates.
// A key as the display delivers it: press and release on the window's native window.
void PressKey(HWND hwnd, int qtKey);

// The skinned window object behind the handle of a window made by a CWindowWnd.
WindowImplBase* WindowObjectOf(HWND hwnd);

// Runs `act` once, from the UI thread's message loop, as soon as a visible message dialog
// exists; the test's fixture checks that it ran. Only one at a time.
class WhenDialogShows {
public:
    explicit WhenDialogShows(std::function<void(HWND dialog)> act);
    ~WhenDialogShows();
    WhenDialogShows(const WhenDialogShows&) = delete;
    WhenDialogShows& operator=(const WhenDialogShows&) = delete;

    bool Ran() const;

private:
    UINT_PTR m_timer = 0;
};

// Records the user-text trace for its lifetime.
class TraceRecorder {
public:
    TraceRecorder();
    ~TraceRecorder();
    TraceRecorder(const TraceRecorder&) = delete;
    TraceRecorder& operator=(const TraceRecorder&) = delete;

    std::vector<std::wstring> Lines() const;

private:
    struct State;
    std::shared_ptr<State> m_state;
};

// A plain skinned top-level window to own dialogs; it notes every WM_CLOSE it receives in
// `journal` (when set) before the library handles it.
class OwnerWindow : public WindowImplBase {
public:
    LPCTSTR GetWindowClassName() const override { return L"UiTestOwner"; }
    CDuiString GetSkinFile() override { return L"mainWnd.xml"; }
    UILIB_RESOURCETYPE GetResourceType() const override;
    UINT GetResourceID() const override;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    HWND CreateShown();

    std::vector<std::string>* journal = nullptr;
};

} // namespace ui_testing
