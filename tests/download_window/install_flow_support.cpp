#include "install_flow_support.h"

#include "platform/win32.h"
#include "ui/message_dialog.h"

#include <map>

namespace {

constexpr LPCWSTR kOwnerClass = L"InstallTestOwner";

std::map<HWND, OwnerWindow*>& Owners()
{
    static std::map<HWND, OwnerWindow*> owners;
    return owners;
}

void RegisterOwnerClass(WNDPROC proc)
{
    WNDCLASSEXW existing;
    if (GetClassInfoExW(GetModuleHandleW(nullptr), kOwnerClass, &existing))
        return;
    WNDCLASSEXW wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kOwnerClass;
    RegisterClassExW(&wc);
}

// The skinned window object behind a handle. Every window of these tests but the owner
// stand-in (which keeps its user data at 0) is a CWindowWnd that stores itself there.
CWindowWnd* SkinnedWindowOf(HWND hwnd) { return reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

BOOL ClickVisibleDialog(HWND hwnd, LPARAM clicked)
{
    CWindowWnd* window = SkinnedWindowOf(hwnd);
    auto* dialog = window ? dynamic_cast<CMsgWnd2*>(window) : nullptr;
    if (!dialog || !IsWindowVisible(hwnd))
        return TRUE;
    PostClickOn(*dialog, L"confirm_btn");
    *reinterpret_cast<bool*>(clicked) = true;
    return FALSE;
}

void ClickWhenShown(HWND, UINT, UINT_PTR id, DWORD)
{
    bool clicked = false;
    EnumWindows(&ClickVisibleDialog, reinterpret_cast<LPARAM>(&clicked));
    if (clicked)
        KillTimer(nullptr, id);
}

} // namespace

OwnerWindow::OwnerWindow()
{
    RegisterOwnerClass(&OwnerWindow::WindowProc);
    m_hwnd = CreateWindowExW(
        0, kOwnerClass, L"owner", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    Owners()[m_hwnd] = this;
}

OwnerWindow::~OwnerWindow()
{
    Owners().erase(m_hwnd);
    DestroyWindow(m_hwnd);
}

LRESULT OwnerWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    const auto found = Owners().find(hwnd);
    if (found != Owners().end() && (message == WM_INSTALL_DONE || message == WM_CLOSE)) {
        found->second->m_received.push_back(message);
        return 0;
    }
    if (found != Owners().end() && message == WM_INSTALL_STICK_PULLED) {
        // The main window ends the program here.
        found->second->m_received.push_back(message);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT ObservedDownloadWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    // The controls go with the window: the last look is taken before it is destroyed.
    if (message == WM_DESTROY)
        Observe();
    const HWND hwnd = m_hWnd;
    const LRESULT result = DownloadWnd::HandleMessage(message, wParam, lParam);
    if (message != WM_DESTROY && message != WM_NCDESTROY && IsWindow(hwnd))
        Observe();
    return result;
}

void ObservedDownloadWnd::Notify(TNotifyUI& msg)
{
    DownloadWnd::Notify(msg);
    if (msg.sType == DUI_MSGTYPE_WINDOWINIT && onWindowInit)
        onWindowInit();
}

void ObservedDownloadWnd::Observe()
{
    StatusShown now{StatusText(), BarValue()};
    if (now.text.empty())
        return; // the controls are not there yet
    if (const CControlUI* bar = m_PaintManager.FindControl(L"progressBar")) {
        const std::wstring detail = std::wstring(bar->GetText().GetData()) + L"|" + DetailText();
        if (details.empty() || details.back() != detail)
            details.push_back(detail);
    }

    if (!shown.empty() && shown.back() == now)
        return;
    shown.push_back(now);
    if (onShown)
        onShown(now);
}

PackageServer::PackageServer(const std::filesystem::path& folder)
    : m_script({"/usr/bin/python3", SupportScript("http_test_server.py"), "--files", folder.string()})
{
}

std::string PackageServer::Url(const std::string& name) const { return "http://" + Address() + "/setup/" + name; }

std::string PackageServer::Address() const { return "127.0.0.1:" + m_script.ReadyValue(); }

void ClickConfirmOfNextMessage() { SetTimer(nullptr, 0, 20, &ClickWhenShown); }

void DrainQueue()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message != WM_QUIT)
            DispatchMessageW(&msg);
    }
}
