// Skinned windows without the mouse and through a screen reader's eyes: the focus moved by Tab
// and Shift+Tab (as the window system delivers them), Space and Enter, the accessibility tree
// Qt's bridge publishes, its press action, and the tooltips of the skin.
#include "skin_fixture.h"

#include "platform/paint_surface.h"
#include "skin/skin_resources.h"

#include "control_click.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QWindow>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr UINT kRunTask = WM_USER + 100;

// A window of one layout that notes its clicks and runs tasks from inside its modal loop.
class KeyWindow : public WindowImplBase {
public:
    explicit KeyWindow(LPCTSTR skin) : m_skin(skin) {}

    LPCTSTR GetWindowClassName() const override { return L"DuiKeyTestWnd"; }
    CDuiString GetSkinFile() override { return m_skin; }
    UILIB_RESOURCETYPE GetResourceType() const override { return UILIB_ZIPRESOURCE; }
    UINT GetResourceID() const override { return kSkinResourceId; }

    void Notify(TNotifyUI& msg) override
    {
        if (msg.sType == DUI_MSGTYPE_CLICK && msg.pSender)
            clicks.push_back(msg.pSender->GetName().ToUtf8());
        else
            WindowImplBase::Notify(msg); // closebtn would end the loop
    }

    LRESULT HandleCustomMessage(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled) override
    {
        if (message == kRunTask && !tasks.empty()) {
            auto task = std::move(tasks.front());
            tasks.erase(tasks.begin());
            task();
            handled = TRUE;
            return 0;
        }
        return WindowImplBase::HandleCustomMessage(message, wParam, lParam, handled);
    }

    // Runs `task` once what was posted before it has been handled.
    void Later(std::function<void()> task)
    {
        tasks.push_back(std::move(task));
        PostMessageW(m_hWnd, kRunTask, 0, 0);
    }

    std::string Focused() const
    {
        const CControlUI* focus = m_PaintManager.GetFocus();
        return focus ? focus->GetName().ToUtf8() : std::string("none");
    }

    CDuiString m_skin;
    std::vector<std::string> clicks;
    std::vector<std::function<void()>> tasks;
};

// A key as the window system delivers it to the native window.
void PressKey(HWND hwnd, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QCoreApplication::sendEvent(platform::NativeWindowOf(hwnd), &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QCoreApplication::sendEvent(platform::NativeWindowOf(hwnd), &release);
}

QStringList ChildNames(QAccessibleInterface* window)
{
    QStringList names;
    for (int i = 0; i < window->childCount(); ++i)
        names << window->child(i)->text(QAccessible::Name);
    return names;
}

class KeyboardAndAccess : public ::testing::Test {
protected:
    void SetUp() override { PrepareSkinTests(); }
};

TEST_F(KeyboardAndAccess, TabAndShiftTabWalkTheButtonsAndSpaceOrEnterPressTheFocusedOne)
{
    const struct {
        std::vector<std::pair<Qt::Key, Qt::KeyboardModifiers>> keys;
        std::string focused;
        std::vector<std::string> clicks;
    } cases[] = {
        // No focus at first: Enter presses nothing, for the main window has no default button.
        {{{Qt::Key_Return, Qt::NoModifier}}, "none", {}},
        {{{Qt::Key_Tab, Qt::NoModifier}}, "minbtn", {}},
        {{{Qt::Key_Tab, Qt::NoModifier}, {Qt::Key_Tab, Qt::NoModifier}, {Qt::Key_Tab, Qt::NoModifier}}, "btnStart", {}},
        {{{Qt::Key_Tab, Qt::NoModifier}, {Qt::Key_Tab, Qt::NoModifier}, {Qt::Key_Tab, Qt::NoModifier},
             {Qt::Key_Tab, Qt::NoModifier}},
            "minbtn", {}},
        {{{Qt::Key_Backtab, Qt::ShiftModifier}, {Qt::Key_Space, Qt::NoModifier}}, "btnStart", {"btnStart"}},
        {{{Qt::Key_Backtab, Qt::ShiftModifier}, {Qt::Key_Backtab, Qt::ShiftModifier}, {Qt::Key_Return, Qt::NoModifier}},
            "closebtn", {"closebtn"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.focused);
        KeyWindow window(L"mainWnd.xml");
        const HWND hwnd = window.Create(nullptr, L"DuiWnd", WS_POPUP | WS_VISIBLE, 0);
        ASSERT_TRUE(hwnd);
        window.Later([&] {
            for (const auto& [key, modifiers] : c.keys)
                PressKey(hwnd, key, modifiers);
            window.Later([&] {
                EXPECT_EQ(window.Focused(), c.focused);
                EXPECT_EQ(window.clicks, c.clicks);
                DestroyWindow(hwnd);
            });
        });
        window.ShowModal();
    }
}

TEST_F(KeyboardAndAccess, TheTreeNamesTheWindowAndItsButtonsAndThePressActionClicks)
{
    KeyWindow window(L"mainWnd.xml");
    const HWND hwnd = window.Create(nullptr, L"DuiWnd", WS_POPUP | WS_VISIBLE, 0);
    ASSERT_TRUE(hwnd);
    window.Later([&] {
        QAccessibleInterface* frame = QAccessible::queryAccessibleInterface(platform::NativeWindowOf(hwnd));
        ASSERT_TRUE(frame);
        EXPECT_EQ(frame->role(), QAccessible::Window);
        EXPECT_EQ(frame->text(QAccessible::Name), QStringLiteral("课件安装工具"));
        // Buttons named by their text or their tooltip; the images and layouts are left out.
        EXPECT_EQ(ChildNames(frame), (QStringList{"最小化", "关闭", "开始安装"}));
        QAccessibleInterface* start = frame->child(2);
        EXPECT_EQ(start->role(), QAccessible::PushButton);
        EXPECT_EQ(start->parent(), frame);
        EXPECT_EQ(frame->indexOfChild(start), 2);
        EXPECT_EQ(start->rect().size(), QSize(240, 40));
        EXPECT_EQ(frame->childAt(start->rect().center().x(), start->rect().center().y()), start);
        ASSERT_TRUE(start->actionInterface());
        start->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        EXPECT_TRUE(window.clicks.empty()); // pressed from the window's loop, not from here
        window.Later([&, frame] {
            EXPECT_EQ(window.clicks, (std::vector<std::string>{"btnStart"}));
            // A disabled window takes no press.
            EnableWindow(hwnd, FALSE);
            frame->child(2)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
            window.Later([&] {
                EXPECT_EQ(window.clicks.size(), 1u);
                DestroyWindow(hwnd);
            });
        });
    });
    window.ShowModal();
}

TEST_F(KeyboardAndAccess, TheStatusLineAndTheProgressBarAreReadWithTheirValues)
{
    KeyWindow window(L"DownloadWnd.xml");
    const HWND hwnd = window.Create(nullptr, L"正在安装", WS_POPUP | WS_VISIBLE, 0);
    ASSERT_TRUE(hwnd);
    window.Later([&] {
        auto* status = static_cast<CLabelUI*>(window.PaintManager().FindControl(L"edtStatus"));
        auto* detail = static_cast<CLabelUI*>(window.PaintManager().FindControl(L"edtDetail"));
        auto* bar = static_cast<CProgressUI*>(window.PaintManager().FindControl(L"progressBar"));
        status->SetText(L"正在写入文件 42%");
        detail->SetText(L"第2步，共3步");
        bar->SetText(L"写入"); // the bar is named after its phase
        bar->SetValue(42);
        QAccessibleInterface* frame = QAccessible::queryAccessibleInterface(platform::NativeWindowOf(hwnd));
        EXPECT_EQ(frame->text(QAccessible::Name), QStringLiteral("正在安装"));
        EXPECT_EQ(ChildNames(frame), (QStringList{"最小化", "关闭", "正在写入文件 42%", "第2步，共3步", "写入"}));
        EXPECT_EQ(frame->child(2)->role(), QAccessible::StaticText);
        QAccessibleInterface* progress = frame->child(4);
        EXPECT_EQ(progress->role(), QAccessible::ProgressBar);
        if (!progress->valueInterface()) {
            ADD_FAILURE() << "the progress bar has no value interface";
            DestroyWindow(hwnd);
            return;
        }
        EXPECT_EQ(progress->valueInterface()->currentValue().toInt(), 42);
        EXPECT_EQ(progress->valueInterface()->maximumValue().toInt(), 100);
        EXPECT_EQ(progress->text(QAccessible::Value), QStringLiteral("42%"));
        DestroyWindow(hwnd);
    });
    window.ShowModal();
}

TEST_F(KeyboardAndAccess, AButtonsTooltipShowsOnceTheMouseRestsOnIt)
{
    KeyWindow window(L"mainWnd.xml");
    const HWND hwnd = window.Create(nullptr, L"DuiWnd", WS_POPUP | WS_VISIBLE, 0);
    ASSERT_TRUE(hwnd);
    const POINT close = CentreOf(window, L"closebtn");
    std::wstring early = L"unset";
    std::wstring late;
    RECT tip{};
    PostMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(close.x, close.y));
    window.Later([&] { early = window.PaintManager().GetShownToolTip().str(); });
    std::thread waiter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(CPaintManagerUI::kToolTipDelay + 300));
        PostMessageW(hwnd, kRunTask, 0, 0);
    });
    window.tasks.push_back([&] {
        late = window.PaintManager().GetShownToolTip().str();
        tip = window.PaintManager().GetToolTipRect();
        // Leaving the button takes it away.
        SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(100, 200));
        EXPECT_TRUE(window.PaintManager().GetShownToolTip().IsEmpty());
        DestroyWindow(hwnd);
    });
    window.ShowModal();
    waiter.join();
    EXPECT_EQ(early, L"");
    EXPECT_EQ(late, L"关闭");
    // Inside the window, below the pointer.
    EXPECT_GT(tip.top, close.y);
    EXPECT_LE(tip.right, 590);
    EXPECT_GE(tip.left, 0);
}

} // namespace
