// Posting, sending and retrieving messages.
#include "platform/core/display.h"
#include "platform/core/display_events.h"
#include "platform/core/window_core.h"
#include "platform/win32_system.h"

namespace platform {

MSG MakeMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    MSG msg;
    msg.hwnd = hwnd;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = TickCount();
    return msg;
}

namespace {

bool IsUserInput(UINT message)
{
    return (message >= WM_KEYDOWN && message <= WM_CHAR) || (message >= WM_MOUSEMOVE && message <= WM_MOUSEWHEEL) ||
        message == WM_MOUSEHOVER || message == WM_MOUSELEAVE;
}

// Shift, Ctrl and Alt as the key messages this thread took from its queue tell them.
thread_local DWORD heldModifiers = 0;

DWORD ModifierOfKey(WPARAM key)
{
    switch (key) {
    case VK_SHIFT:
        return kKeyModifierShift;
    case VK_CONTROL:
        return kKeyModifierControl;
    case VK_MENU:
        return kKeyModifierAlt;
    default:
        return 0;
    }
}

void NoteKeyState(const MSG& msg)
{
    if (msg.message < WM_KEYDOWN || msg.message > WM_CHAR)
        return;
    if (msg.lPrivate & kKeyModifiersKnown) {
        heldModifiers = msg.lPrivate & (kKeyModifierShift | kKeyModifierControl | kKeyModifierAlt);
        return;
    }
    const DWORD modifier = ModifierOfKey(msg.wParam);
    if (msg.message == WM_KEYDOWN)
        heldModifiers |= modifier;
    else if (msg.message == WM_KEYUP)
        heldModifiers &= ~modifier;
}

// Where input goes is decided when it leaves the queue: a click queued while a handler blocked
// does not reach a window that has been hidden or disabled since.
bool Deliverable(const MSG& msg)
{
    if (!msg.hwnd)
        return true;
    if (!IsWindow(msg.hwnd))
        return false;
    return !IsUserInput(msg.message) || (IsWindowVisible(msg.hwnd) && AcceptsInput(msg.hwnd));
}

// Windows' order: sent messages, posted messages (input among them), WM_QUIT, WM_PAINT,
// WM_TIMER. Returns nullopt only when `wait` is false and nothing matches.
std::optional<MSG> NextMessage(const MessageFilter& filter, bool remove, bool wait)
{
    const auto queue = CurrentQueue();
    for (;;) {
        queue->BeginScan();
        const auto display = CurrentDisplay();
        if (display->IsEventThread(queue->ThreadId()))
            display->ProcessPendingEvents();
        queue->RunSentTasks();

        while (auto posted = queue->TakePosted(filter, remove)) {
            if (remove)
                NoteKeyState(*posted);
            if (Deliverable(*posted))
                return posted;
            // A message for a window destroyed since it was posted is dropped, and so is input
            // for a window that no longer takes it.
            if (!remove)
                NoteKeyState(*queue->TakePosted(filter, true));
        }
        if (const auto quitCode = queue->TakeQuit(filter, remove))
            return MakeMessage(nullptr, WM_QUIT, static_cast<WPARAM>(*quitCode), 0);
        if (const auto hwnd = WindowNeedingPaint(queue->ThreadId(), filter))
            return MakeMessage(*hwnd, WM_PAINT, 0, 0);
        if (auto timer = queue->TakeDueTimer(filter, remove, ThreadQueue::Clock::now()))
            return timer;
        if (!wait)
            return std::nullopt;
        queue->Wait(queue->NextTimerDue());
    }
}

bool ValidFilterWindow(HWND hwnd) { return !hwnd || IsWindow(hwnd); }

} // namespace

LRESULT OnWindowThread(HWND hwnd, const std::function<LRESULT()>& work, LRESULT gone)
{
    const WindowRef window = FindWindowRef(hwnd);
    if (!window)
        return gone;
    if (window.OwnedByCurrentThread())
        return work();
    const auto result = RunOnThread(window.Queue(), [hwnd, work, gone]() { return IsWindow(hwnd) ? work() : gone; });
    return result.value_or(gone);
}

} // namespace platform

using namespace platform;

BOOL PostMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!hwnd)
        return PostThreadMessageW(GetCurrentThreadId(), message, wParam, lParam);
    const WindowRef window = FindWindowRef(hwnd);
    if (!window)
        return FALSE;
    return window.Queue()->Post(MakeMessage(hwnd, message, wParam, lParam)) ? TRUE : FALSE;
}

LRESULT SendMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return OnWindowThread(hwnd, [=]() { return CallWindowProcedure(hwnd, message, wParam, lParam); });
}

BOOL PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam)
{
    const auto queue = threadId == GetCurrentThreadId() ? CurrentQueue() : QueueOfThread(threadId);
    if (!queue)
        return FALSE;
    return queue->Post(MakeMessage(nullptr, message, wParam, lParam)) ? TRUE : FALSE;
}

void PostQuitMessage(int exitCode) { CurrentQueue()->PostQuit(exitCode); }

BOOL GetMessageW(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax)
{
    if (!msg || !ValidFilterWindow(hwnd))
        return -1;
    *msg = *NextMessage(MessageFilter{hwnd, filterMin, filterMax}, true, true);
    return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL PeekMessageW(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags)
{
    if (!msg || !ValidFilterWindow(hwnd))
        return FALSE;
    const auto next = NextMessage(MessageFilter{hwnd, filterMin, filterMax}, (removeFlags & PM_REMOVE) != 0, false);
    if (!next)
        return FALSE;
    *msg = *next;
    return TRUE;
}

// Character messages come from the display together with the key messages.
BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessageW(const MSG* msg)
{
    if (!msg)
        return 0;
    if (msg->message == WM_TIMER && msg->lParam) {
        const auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
        proc(msg->hwnd, WM_TIMER, msg->wParam, TickCount());
        return 0;
    }
    // Taken from the queue earlier, input still goes nowhere once its window is hidden or disabled.
    if (!msg->hwnd || !Deliverable(*msg))
        return 0;
    return SendMessageW(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL InSendMessage() { return SentWorkDepth() > 0 ? TRUE : FALSE; }

SHORT GetKeyState(int virtualKey)
{
    const DWORD modifier = ModifierOfKey(static_cast<WPARAM>(virtualKey));
    return (modifier && (heldModifiers & modifier)) ? static_cast<SHORT>(-128) : 0;
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc)
{
    if (!hwnd)
        return CurrentQueue()->SetTimer(nullptr, id, elapseMs, proc);
    const WindowRef window = FindWindowRef(hwnd);
    if (!window || !window.OwnedByCurrentThread())
        return 0;
    return window.Queue()->SetTimer(hwnd, id, elapseMs, proc);
}

BOOL KillTimer(HWND hwnd, UINT_PTR id)
{
    if (!hwnd)
        return CurrentQueue()->KillTimer(nullptr, id) ? TRUE : FALSE;
    const WindowRef window = FindWindowRef(hwnd);
    if (!window || !window.OwnedByCurrentThread())
        return FALSE;
    return window.Queue()->KillTimer(hwnd, id) ? TRUE : FALSE;
}
