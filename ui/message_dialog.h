// The program's message dialog: a skinned, topmost, modal box with the text and one button
// ("msg.xml") or two ("msg2.xml").
#pragma once

#include "dui/dui.h"

class CMsgWnd2 : public WindowImplBase {
public:
    CMsgWnd2();
    ~CMsgWnd2() override;

    LPCTSTR GetWindowClassName() const override;
    CDuiString GetSkinFolder() override;
    // "msg.xml" when m_singleButton is 1, else "msg2.xml".
    CDuiString GetSkinFile() override;
    UILIB_RESOURCETYPE GetResourceType() const override;
    CDuiString GetZIPFileName() const override;
    UINT GetResourceID() const override;
    // The library's, then the object deletes itself.
    void OnFinalMessage(HWND hwnd) override;
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    // confirm_btn closes with 1, cancel_btn with 0 (names compared without regard to case).
    void OnClick(TNotifyUI& msg) override;
    LRESULT OnSysCommand(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    LRESULT HandleCustomMessage(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled) override;

    // Enter presses cancel_btn instead of confirm_btn (two-button layout only).
    void MakeCancelTheDefault();
    // Shows the text; more than 20 UTF-16 code units take the smaller font 1.
    void SetMessageText(LPCTSTR text);
    // The same on any tree built from "msg.xml" or "msg2.xml" (the skin preview paints one
    // without a window). An empty text leaves the control as the layout has it.
    static void ApplyMessageText(CPaintManagerUI& manager, LPCTSTR text);

    // 1 selects the one-button layout; set before Create.
    int m_singleButton = 0;
    // Nobody is at the screen: once shown, the dialog presses its default button itself. Set
    // before Create.
    bool m_answerItself = false;

    DUI_DECLARE_MESSAGE_MAP()
};

// Texts longer than this many UTF-16 code units are shown in the smaller font.
inline constexpr std::size_t kMessageTextLongerThan = 20;
// The layouts' font id for long texts.
inline constexpr int kMessageTextSmallFont = 1;

// Kind 2: the one-button dialog; any other kind: "确定" and "取消".
using MessageKind = int;
inline constexpr MessageKind kOneButtonMessage = 2;
inline constexpr MessageKind kTwoButtonMessage = 1;
// Added to a two-button kind: "取消" is the default button (Enter presses it), as
// MB_DEFBUTTON2 does for a message box.
inline constexpr MessageKind kCancelIsDefault = 0x100;
// Who answers a dialog: the user, or (an unattended run, nobody at the screen) the dialog
// itself, with its default button once it shows.
enum class DialogAnswer { ByUser, ByItself };
constexpr DialogAnswer AnswerFor(bool unattended) { return unattended ? DialogAnswer::ByItself : DialogAnswer::ByUser; }

// Shows the dialog modally, owned by `owner` (or by nothing), and returns 1 for confirm_btn,
// 0 for cancel_btn or any other way of closing it. From a thread other than the UI thread the
// dialog is made and run on the UI thread while the caller waits for its result; once the UI
// thread has ended it returns 0 at once. Every call passes its text to the user-text trace
// (platform/user_text_trace.h) once.
unsigned ShowMessage(HWND owner, LPCTSTR caption, LPCTSTR text, MessageKind kind);
// The same; with DialogAnswer::ByItself the dialog still shows, then answers itself.
unsigned ShowMessage(HWND owner, LPCTSTR caption, LPCTSTR text, MessageKind kind, DialogAnswer answer);
