// The completion window: OK hides it and closes it with 1; its close button tells the main
// window first and then closes it through the library; unattended it dismisses itself.
#include "ui_test_support.h"

#include "ui/complete_wnd.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace ui_testing;

namespace {

constexpr DWORD kStyle = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU;

// Notes what the completion window goes through, in one journal with its owner.
class WatchedCompleteWnd : public CompleteWnd {
public:
    explicit WatchedCompleteWnd(std::vector<std::string>& journal) : m_journal(journal) {}

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_PAINT)
            painted = true;
        if (message == WM_CLOSE) {
            m_journal.push_back("complete WM_CLOSE");
            visibleAtClose = IsWindowVisible(m_hWnd);
            paintedBeforeClose = painted;
        }
        return CompleteWnd::HandleMessage(message, wParam, lParam);
    }

    HWND CreateAsTheMainWindowDoes(HWND owner)
    {
        m_ownerWnd = owner;
        const HWND hwnd = Create(nullptr, L"安装完成", kStyle, WS_EX_WINDOWEDGE);
        CenterWindow();
        return hwnd;
    }

    bool painted = false;
    bool visibleAtClose = true;
    bool paintedBeforeClose = false;

private:
    std::vector<std::string>& m_journal;
};

TEST(CompleteWnd, OkHidesTheWindowThenClosesItWithOne)
{
    std::vector<std::string> journal;
    OwnerWindow owner;
    owner.journal = &journal;
    const HWND ownerHwnd = owner.CreateShown();
    WatchedCompleteWnd complete(journal);
    const HWND hwnd = complete.CreateAsTheMainWindowDoes(ownerHwnd);
    PostClickOn(complete, L"btnOk");
    EXPECT_EQ(complete.ShowModal(), 1u);
    EXPECT_FALSE(complete.visibleAtClose);
    EXPECT_FALSE(IsWindow(hwnd));
    // The main window is not told.
    EXPECT_EQ(journal, std::vector<std::string>{"complete WM_CLOSE"});
    EXPECT_TRUE(IsWindow(ownerHwnd));
    DestroyWindow(ownerHwnd);
}

TEST(CompleteWnd, CloseButtonSendsWmCloseToTheMainWindowFirst)
{
    std::vector<std::string> journal;
    OwnerWindow owner;
    owner.journal = &journal;
    const HWND ownerHwnd = owner.CreateShown();
    WatchedCompleteWnd complete(journal);
    complete.CreateAsTheMainWindowDoes(ownerHwnd);
    PostClickOn(complete, L"closebtn");
    EXPECT_EQ(complete.ShowModal(), 0u);
    EXPECT_EQ(journal, (std::vector<std::string>{"owner WM_CLOSE", "complete WM_CLOSE"}));
    // The library's handling of that WM_CLOSE destroyed the main window.
    EXPECT_FALSE(IsWindow(ownerHwnd));
}

TEST(CompleteWnd, CloseButtonClosesItAlsoWhenTheMainWindowIsGone)
{
    std::vector<std::string> journal;
    OwnerWindow owner;
    const HWND gone = owner.CreateShown();
    DestroyWindow(gone);
    for (const HWND mainWindow : {gone, static_cast<HWND>(nullptr)}) {
        journal.clear();
        WatchedCompleteWnd complete(journal);
        complete.CreateAsTheMainWindowDoes(mainWindow);
        PostClickOn(complete, L"closebtn");
        EXPECT_EQ(complete.ShowModal(), 0u);
        EXPECT_EQ(journal, std::vector<std::string>{"complete WM_CLOSE"});
    }
}

TEST(CompleteWnd, UnattendedItShowsAndDismissesItselfAsOkWould)
{
    std::vector<std::string> journal;
    OwnerWindow owner;
    owner.journal = &journal;
    const HWND ownerHwnd = owner.CreateShown();
    WatchedCompleteWnd complete(journal);
    complete.m_answerItself = true;
    complete.CreateAsTheMainWindowDoes(ownerHwnd);
    EXPECT_EQ(complete.ShowModal(), 1u);
    EXPECT_TRUE(complete.paintedBeforeClose);
    EXPECT_FALSE(complete.visibleAtClose);
    EXPECT_EQ(journal, std::vector<std::string>{"complete WM_CLOSE"});
    DestroyWindow(ownerHwnd);
}

} // namespace
