// The message dialog through ShowMessage, driven as a user drives it: its layouts by kind,
// buttons and keys, the font switch for long texts, the UI thread doing the work for a worker,
// its place above other windows, unattended answers and the user-text trace.
#include "ui_test_support.h"

#include "dui/painting.h"
#include "platform/paint_surface.h"
#include "platform/ui_thread.h"
#include "ui/message_dialog.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QWindow>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <string>
#include <thread>

using namespace ui_testing;

namespace {

constexpr wchar_t kCaption[] = L"提示";

CMsgWnd2& DialogOf(HWND hwnd)
{
    auto* dialog = dynamic_cast<CMsgWnd2*>(WindowObjectOf(hwnd));
    EXPECT_TRUE(dialog);
    return *dialog;
}

CLabelUI* MessageTextOf(CMsgWnd2& dialog)
{
    CControlUI* control = dialog.PaintManager().FindControl(L"MessageText");
    return control ? static_cast<CLabelUI*>(control->GetInterface(L"Label")) : nullptr;
}

bool Has(CMsgWnd2& dialog, LPCTSTR name) { return dialog.PaintManager().FindControl(name) != nullptr; }

// Runs the UI thread's loop until `done` is set (and a message wakes the loop).
void PumpUntil(const std::atomic<bool>& done)
{
    MSG msg;
    while (!done && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

class MessageDialogTest : public ::testing::Test {
protected:
    TraceRecorder m_trace;
};

TEST_F(MessageDialogTest, KindTwoHasOnlyConfirmAndOtherKindsAlsoCancel)
{
    const struct {
        MessageKind kind;
        LPCTSTR press;
        unsigned result;
        bool hasCancel;
    } cases[] = {
        {kOneButtonMessage, L"confirm_btn", 1, false},
        {kTwoButtonMessage, L"confirm_btn", 1, true},
        {kTwoButtonMessage, L"cancel_btn", 0, true},
        {0, L"cancel_btn", 0, true},
        {1, L"confirm_btn", 1, true},
        {-2, L"cancel_btn", 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << ", " << CDuiString(c.press).ToUtf8());
        bool hasConfirm = false;
        bool hasCancel = false;
        WhenDialogShows act([&](HWND hwnd) {
            CMsgWnd2& dialog = DialogOf(hwnd);
            hasConfirm = Has(dialog, L"confirm_btn");
            hasCancel = Has(dialog, L"cancel_btn");
            PostClickOn(dialog, c.press);
        });
        EXPECT_EQ(ShowMessage(nullptr, kCaption, L"请插入需要安装课件的U盘后，再继续操作！", c.kind), c.result);
        EXPECT_TRUE(act.Ran());
        EXPECT_TRUE(hasConfirm);
        EXPECT_EQ(hasCancel, c.hasCancel);
    }
}

TEST_F(MessageDialogTest, MoreThanTwentyUtf16UnitsTakeTheSmallerFont)
{
    const struct {
        std::wstring text;
        int font;
        int size;
    } cases[] = {
        {L"请插入需要安装课件的U盘后，再继续操作！", 2, 16}, // 20
        {L"请仅保留需要安装课件的U盘，多余的盘移除后，再继续操作！", 1, 14}, // 28
        {L"硬盘空间不足4.5G，无法下载！", 2, 16}, // 16
        {std::wstring(20, L'字'), 2, 16},
        {std::wstring(21, L'字'), 1, 14},
        // 20 characters, 21 UTF-16 units: the last one needs a surrogate pair.
        {std::wstring(19, L'字') + L"\U0001F600", 1, 14},
        {std::wstring(18, L'字') + L"\U0001F600", 2, 16},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(CDuiString(c.text.c_str()).ToUtf8());
        int font = 0;
        int size = 0;
        std::wstring shown;
        WhenDialogShows act([&](HWND hwnd) {
            CMsgWnd2& dialog = DialogOf(hwnd);
            if (CLabelUI* text = MessageTextOf(dialog)) {
                font = text->GetFont();
                size = dialog.PaintManager().GetFontInfo(font).iSize;
                shown = text->GetText().str();
            }
            dialog.Close(1);
        });
        EXPECT_EQ(ShowMessage(nullptr, kCaption, c.text.c_str(), kOneButtonMessage), 1u);
        EXPECT_EQ(font, c.font);
        EXPECT_EQ(size, c.size);
        EXPECT_EQ(shown, c.text);
    }
    EXPECT_EQ(m_trace.Lines().size(), std::size(cases));
}

// Every message of the program: drawn at 12 pixels or more, inside the message box, a long one
// on three lines at the layout's font before any shrinking, with its lines broken as Chinese
// text is (no closing punctuation starting a line, no character alone on the last line).
TEST_F(MessageDialogTest, EveryMessageIsReadableAndFitsItsBox)
{
    const struct {
        std::wstring text;
        int lines; // at the layout's font; 0: shrunk
    } cases[] = {
        {L"请插入需要安装课件的U盘后，再继续操作！", 2},
        {L"请仅保留需要安装课件的U盘，多余的盘移除后，再继续操作！", 2},
        {L"课件正在安装，现在退出会导致U盘中的课件不完整，确定要退出吗？", 2},
        {L"课件中有大于4GB的文件，FAT32格式的U盘无法保存，请将U盘格式化为exFAT后重试。", 3},
        {L"当前书册的下载文件不存在，请添加微信kelvohelp001解决！", 2},
        {L"U盘校验失败，课件未能完整写入，请更换U盘后重试。", 2},
        {L"课件文件中有无法安装的内容，请联系课件提供方。", 2},
        {L"课件写入U盘失败，请检查U盘后重试。", 2},
        {L"硬盘空间不足4.5G，无法下载！", 2},
        {L"网络不可用，请稍后再试。", 1},
        // Too long for the box even at the smallest size: drawn at that size all the same.
        {std::wstring(60, L'课'), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(CDuiString(c.text.c_str()).ToUtf8());
        QFont layoutFont, shown;
        RECT area{}, box{};
        WhenDialogShows act([&](HWND hwnd) {
            CMsgWnd2& dialog = DialogOf(hwnd);
            if (CLabelUI* text = MessageTextOf(dialog)) {
                layoutFont = dialog.PaintManager().GetQFont(text->GetFont());
                shown = text->ShownFont();
                area = text->ShownTextArea();
                box = text->GetPos();
            }
            dialog.Close(1);
        });
        ShowMessage(nullptr, kCaption, c.text.c_str(), 2);
        EXPECT_GE(shown.pixelSize(), 12);
        EXPECT_EQ(shown.pixelSize() == layoutFont.pixelSize(), c.lines > 0) << shown.pixelSize();
        EXPECT_TRUE(
            area.left >= box.left && area.right <= box.right && area.top >= box.top && area.bottom <= box.bottom);
        const int width = area.right - area.left;
        const QStringList lines = dui::BreakLines(QString::fromStdWString(c.text), width, shown);
        if (c.lines > 0) {
            EXPECT_EQ(lines.size(), c.lines) << lines.join(QLatin1Char('/')).toStdString();
            // Laid out as it is drawn, the whole text lies inside the area.
            const QSize extent = dui::TextExtent(c.text.c_str(), width, shown, DT_WORDBREAK, true);
            EXPECT_LE(extent.height(), area.bottom - area.top);
            EXPECT_LE(extent.width(), width);
        } else {
            EXPECT_EQ(shown.pixelSize(), dui::kSmallestFittedPixelSize);
        }
        for (const QString& line : lines)
            EXPECT_FALSE(line.isEmpty() || QStringLiteral("，。！？、").contains(line.front())) << line.toStdString();
        EXPECT_GT(lines.back().size() - (QStringLiteral("，。！？").contains(lines.back().back()) ? 1 : 0), 1);
    }
}

// The keys of the dialogs as the window system delivers them: the default button has the focus
// first (取消 in the close question), Tab and Shift+Tab move it, Space and Enter press the
// focused button, Esc is 取消. A screen reader finds a dialog named by its message.
TEST_F(MessageDialogTest, TheKeyboardWorksTheButtonsFromTheDefaultOnAndTheDialogIsNamedByItsText)
{
    using Keys = std::vector<std::pair<Qt::Key, Qt::KeyboardModifiers>>;
    const MessageKind closeQuestion = kTwoButtonMessage | kCancelIsDefault;
    const struct {
        MessageKind kind;
        Keys keys;
        unsigned result;
    } cases[] = {
        {kOneButtonMessage, {{Qt::Key_Space, Qt::NoModifier}}, 1},
        {kOneButtonMessage, {{Qt::Key_Escape, Qt::NoModifier}}, 0},
        {kTwoButtonMessage, {{Qt::Key_Return, Qt::NoModifier}}, 1},
        {closeQuestion, {{Qt::Key_Return, Qt::NoModifier}}, 0},
        {closeQuestion, {{Qt::Key_Space, Qt::NoModifier}}, 0},
        {closeQuestion, {{Qt::Key_Tab, Qt::NoModifier}, {Qt::Key_Space, Qt::NoModifier}}, 1},
        {closeQuestion, {{Qt::Key_Backtab, Qt::ShiftModifier}, {Qt::Key_Return, Qt::NoModifier}}, 1},
        {closeQuestion,
            {{Qt::Key_Tab, Qt::NoModifier}, {Qt::Key_Tab, Qt::NoModifier}, {Qt::Key_Return, Qt::NoModifier}}, 0},
        {closeQuestion, {{Qt::Key_Tab, Qt::NoModifier}, {Qt::Key_Escape, Qt::NoModifier}}, 0},
    };
    const std::wstring text = L"课件正在安装，现在退出会导致U盘中的课件不完整，确定要退出吗？";
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << ", keys " << c.keys.size());
        QString name, focused;
        QAccessible::Role role = QAccessible::NoRole;
        WhenDialogShows act([&](HWND hwnd) {
            QWindow* native = platform::NativeWindowOf(hwnd);
            QAccessibleInterface* dialog = QAccessible::queryAccessibleInterface(native);
            role = dialog->role();
            name = dialog->text(QAccessible::Name);
            if (QAccessibleInterface* focus = dialog->focusChild())
                focused = focus->text(QAccessible::Name);
            for (const auto& [key, modifiers] : c.keys) {
                QKeyEvent press(QEvent::KeyPress, key, modifiers);
                QCoreApplication::sendEvent(native, &press);
            }
        });
        EXPECT_EQ(ShowMessage(nullptr, kCaption, text.c_str(), c.kind), c.result);
        EXPECT_EQ(role, QAccessible::Dialog);
        EXPECT_EQ(name, QString::fromStdWString(text));
        EXPECT_EQ(focused, c.kind == closeQuestion ? QStringLiteral("取消") : QStringLiteral("确定"));
    }
}

TEST_F(MessageDialogTest, AnEmptyTextShowsTheDialogWithAnEmptyMessageArea)
{
    for (const LPCTSTR text : {L"", static_cast<LPCTSTR>(nullptr)}) {
        std::wstring shown = L"unset";
        int font = 0;
        WhenDialogShows act([&](HWND hwnd) {
            CMsgWnd2& dialog = DialogOf(hwnd);
            if (CLabelUI* label = MessageTextOf(dialog)) {
                shown = label->GetText().str();
                font = label->GetFont();
            }
            PostClickOn(dialog, L"confirm_btn");
        });
        EXPECT_EQ(ShowMessage(nullptr, kCaption, text, kOneButtonMessage), 1u);
        EXPECT_TRUE(act.Ran());
        EXPECT_EQ(shown, L"");
        EXPECT_EQ(font, 2);
    }
    EXPECT_EQ(m_trace.Lines(), (std::vector<std::wstring>{L"", L""}));
}

TEST_F(MessageDialogTest, AWorkerGetsTheAnswerOfADialogRunOnTheUiThread)
{
    const DWORD ui = GetCurrentThreadId();
    for (const auto& [press, expected] : {std::pair{L"confirm_btn", 1u}, std::pair{L"cancel_btn", 0u}}) {
        DWORD dialogThread = 0;
        DWORD actThread = 0;
        WhenDialogShows act([&](HWND hwnd) {
            dialogThread = GetWindowThreadProcessId(hwnd, nullptr);
            actThread = GetCurrentThreadId();
            PostClickOn(DialogOf(hwnd), press);
        });
        std::atomic<bool> done{false};
        auto answer = std::async(std::launch::async, [&] {
            const unsigned result = ShowMessage(nullptr, kCaption, L"网络不可用，请稍后再试。", kTwoButtonMessage);
            done = true;
            PostThreadMessageW(ui, WM_NULL, 0, 0);
            return result;
        });
        PumpUntil(done);
        EXPECT_EQ(answer.get(), expected);
        EXPECT_EQ(dialogThread, ui);
        EXPECT_EQ(actThread, ui);
    }
    EXPECT_EQ(m_trace.Lines(), (std::vector<std::wstring>(2, L"网络不可用，请稍后再试。")));
}

TEST_F(MessageDialogTest, OnceTheUiThreadHasEndedTheAnswerIsZeroAtOnce)
{
    std::thread([] { platform::MarkCurrentThreadAsUi(); }).join();
    int dialogs = 0;
    const unsigned result = ShowMessage(nullptr, kCaption, L"网络不可用，请稍后再试。", kOneButtonMessage);
    EnumWindows(
        [](HWND hwnd, LPARAM count) {
            wchar_t text[16] = {};
            GetWindowTextW(hwnd, text, 16);
            *reinterpret_cast<int*>(count) += std::wstring_view(text) == L"msgwnd2";
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&dialogs));
    platform::MarkCurrentThreadAsUi();
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(dialogs, 0);
    EXPECT_EQ(m_trace.Lines(), std::vector<std::wstring>{L"网络不可用，请稍后再试。"});
}

TEST_F(MessageDialogTest, TopmostWithoutTaskBarEntryAndItsOwnerDisabledMeanwhile)
{
    OwnerWindow owner;
    const HWND ownerHwnd = owner.CreateShown();
    OwnerWindow bystander;
    const HWND bystanderHwnd = bystander.CreateShown();

    struct Seen {
        bool ownerEnabled = true;
        bool bystanderEnabled = false;
        HWND dialogOwner = nullptr;
        LONG_PTR exStyle = 0;
        Qt::WindowFlags flags;
        SIZE size{};
    };
    const auto look = [&](Seen& seen, HWND hwnd) {
        seen.ownerEnabled = IsWindowEnabled(ownerHwnd);
        seen.bystanderEnabled = IsWindowEnabled(bystanderHwnd);
        seen.dialogOwner = GetWindow(hwnd, GW_OWNER);
        seen.exStyle = GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
        if (QWindow* native = platform::NativeWindowOf(hwnd))
            seen.flags = native->flags();
        RECT rc;
        GetClientRect(hwnd, &rc);
        seen.size = SIZE{rc.right, rc.bottom};
        PostClickOn(DialogOf(hwnd), L"confirm_btn");
    };

    Seen owned;
    {
        WhenDialogShows act([&](HWND hwnd) { look(owned, hwnd); });
        EXPECT_EQ(ShowMessage(ownerHwnd, kCaption, L"U盘空间不足4.5G，无法安装课件！", kOneButtonMessage), 1u);
    }
    EXPECT_FALSE(owned.ownerEnabled);
    EXPECT_TRUE(owned.bystanderEnabled);
    EXPECT_EQ(owned.dialogOwner, ownerHwnd);
    EXPECT_TRUE(owned.exStyle & WS_EX_TOPMOST);
    EXPECT_TRUE(owned.exStyle & WS_EX_TOOLWINDOW);
    EXPECT_TRUE(owned.flags & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(owned.flags & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_EQ(owned.size.cx, 360);
    EXPECT_EQ(owned.size.cy, 200);
    EXPECT_TRUE(IsWindowEnabled(ownerHwnd));

    // Without an owner every window stays usable.
    Seen free;
    {
        WhenDialogShows act([&](HWND hwnd) { look(free, hwnd); });
        EXPECT_EQ(ShowMessage(nullptr, kCaption, L"请插入需要安装课件的U盘后，再继续操作！", kOneButtonMessage), 1u);
    }
    EXPECT_TRUE(free.ownerEnabled);
    EXPECT_EQ(free.dialogOwner, nullptr);
    EXPECT_TRUE(free.exStyle & WS_EX_TOPMOST);

    DestroyWindow(bystanderHwnd);
    DestroyWindow(ownerHwnd);
}

TEST_F(MessageDialogTest, AnOwnerThatIsGoneShowsNothingAndAnswersZero)
{
    OwnerWindow owner;
    const HWND gone = owner.CreateShown();
    DestroyWindow(gone);
    EXPECT_EQ(ShowMessage(gone, kCaption, L"网络不可用，请稍后再试。", kOneButtonMessage), 0u);
    EXPECT_EQ(m_trace.Lines(), std::vector<std::wstring>{L"网络不可用，请稍后再试。"});
}

TEST_F(MessageDialogTest, EnterAnswersTheDefaultButtonAndEscapeCloses)
{
    const struct {
        MessageKind kind;
        int key;
        unsigned result;
    } cases[] = {
        {kOneButtonMessage, Qt::Key_Return, 1},
        {kTwoButtonMessage, Qt::Key_Return, 1},
        {kOneButtonMessage, Qt::Key_Escape, 0},
        {kTwoButtonMessage, Qt::Key_Escape, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << ", key " << c.key);
        WhenDialogShows act([&](HWND hwnd) { PressKey(hwnd, c.key); });
        EXPECT_EQ(ShowMessage(nullptr, kCaption, L"网络不可用，请稍后再试。", c.kind), c.result);
        EXPECT_TRUE(act.Ran());
    }
}

TEST_F(MessageDialogTest, TheSystemsCloseCommandClosesItWithZero)
{
    WhenDialogShows act([](HWND hwnd) { PostMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0); });
    EXPECT_EQ(ShowMessage(nullptr, kCaption, L"网络不可用，请稍后再试。", kTwoButtonMessage), 0u);
    EXPECT_TRUE(act.Ran());
}

TEST_F(MessageDialogTest, ButtonNamesAreComparedWithoutRegardToCase)
{
    const struct {
        LPCTSTR sender;
        unsigned result;
    } cases[] = {
        {L"CONFIRM_BTN", 1},
        {L"Cancel_Btn", 0},
        {L"confirm", 7},
        {L"closebtn", 7},
        {L"MessageText", 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(CDuiString(c.sender).ToUtf8());
        WhenDialogShows act([&](HWND hwnd) {
            CMsgWnd2& dialog = DialogOf(hwnd);
            CButtonUI sender;
            sender.SetName(c.sender);
            TNotifyUI click;
            click.sType = DUI_MSGTYPE_CLICK;
            click.pSender = &sender;
            dialog.Notify(click);
            // Any name other than the two buttons leaves the dialog open.
            dialog.Close(7);
        });
        EXPECT_EQ(ShowMessage(nullptr, kCaption, L"网络不可用，请稍后再试。", kTwoButtonMessage), c.result);
    }
}

TEST_F(MessageDialogTest, TheDialogObjectGoesWithItsWindow)
{
    CLifeWatch dialog;
    WhenDialogShows act([&](HWND hwnd) {
        dialog = DialogOf(hwnd).Watch();
        PostClickOn(DialogOf(hwnd), L"confirm_btn");
    });
    EXPECT_EQ(ShowMessage(nullptr, kCaption, L"网络不可用，请稍后再试。", kOneButtonMessage), 1u);
    ASSERT_TRUE(act.Ran());
    EXPECT_FALSE(dialog.Alive());
}

// A message dialog that notes whether it was painted before it closed.
class WatchedDialog : public CMsgWnd2 {
public:
    explicit WatchedDialog(bool* paintedBeforeClose) : m_paintedBeforeClose(paintedBeforeClose) {}
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_PAINT)
            m_painted = true;
        if (message == WM_CLOSE)
            *m_paintedBeforeClose = m_painted;
        return CMsgWnd2::HandleMessage(message, wParam, lParam);
    }

private:
    bool* m_paintedBeforeClose;
    bool m_painted = false;
};

TEST_F(MessageDialogTest, UnattendedTheDialogShowsAndAnswersItselfWithConfirm)
{
    for (const MessageKind kind : {kOneButtonMessage, kTwoButtonMessage}) {
        EXPECT_EQ(ShowMessage(nullptr, kCaption, L"检测到课件U盘已拔出，安装终止。", kind, DialogAnswer::ByItself), 1u);
    }
    EXPECT_EQ(m_trace.Lines(), (std::vector<std::wstring>(2, L"检测到课件U盘已拔出，安装终止。")));

    // It is on screen (painted) before it answers.
    bool paintedBeforeClose = false;
    auto* dialog = new WatchedDialog(&paintedBeforeClose);
    dialog->m_answerItself = true;
    dialog->Create(nullptr, L"msgwnd2", WS_POPUP | WS_CLIPCHILDREN, WS_EX_TOOLWINDOW);
    EXPECT_EQ(dialog->ShowModal(), 1u);
    EXPECT_TRUE(paintedBeforeClose);

    // From a worker as well.
    std::atomic<bool> done{false};
    const DWORD ui = GetCurrentThreadId();
    auto answer = std::async(std::launch::async, [&] {
        const unsigned result =
            ShowMessage(nullptr, kCaption, L"网络不可用，请稍后再试。", kTwoButtonMessage, DialogAnswer::ByItself);
        done = true;
        PostThreadMessageW(ui, WM_NULL, 0, 0);
        return result;
    });
    PumpUntil(done);
    EXPECT_EQ(answer.get(), 1u);
}

} // namespace
