#include "control_click.h"

#include <gtest/gtest.h>

POINT CentreOf(WindowImplBase& window, LPCTSTR name)
{
    const CControlUI* control = window.PaintManager().FindControl(name);
    EXPECT_TRUE(control) << CDuiString(name).ToUtf8();
    if (!control)
        return POINT{};
    const RECT& rc = control->GetPos();
    return POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
}

void PostClick(HWND hwnd, POINT pt)
{
    const LPARAM at = MAKELPARAM(pt.x, pt.y);
    PostMessageW(hwnd, WM_MOUSEMOVE, 0, at);
    PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(hwnd, WM_LBUTTONUP, 0, at);
}

void PostClickOn(WindowImplBase& window, LPCTSTR name) { PostClick(window.GetHWND(), CentreOf(window, name)); }
