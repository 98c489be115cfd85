// The completion window: the completion image and the OK button.
#pragma once

#include "dui/dui.h"

class CompleteWnd : public WindowImplBase {
public:
    CompleteWnd();
    ~CompleteWnd() override;

    LPCTSTR GetWindowClassName() const override;
    CDuiString GetSkinFolder() override;
    CDuiString GetSkinFile() override;
    UILIB_RESOURCETYPE GetResourceType() const override;
    UINT GetResourceID() const override;
    void InitWindow() override;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    // btnOk: hide, then Close(1). closebtn: WM_CLOSE sent to m_ownerWnd first. Then the library.
    void Notify(TNotifyUI& msg) override;

    // The main window; set before Create.
    HWND m_ownerWnd = nullptr;
    // Nobody is at the screen: once shown, the window presses btnOk itself. Set before Create.
    bool m_answerItself = false;
};
