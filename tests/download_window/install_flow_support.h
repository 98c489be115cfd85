// Pieces of the download window's flow tests: a stand-in for the main window that records
// what it is sent, a download window whose status line and bar are watched, the loopback
// server that hands out package archives, and a way to answer a message dialog by a click.
#pragma once

#include "control_click.h"

#include "download_window/download_wnd.h"
#include "script_server.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// A plain platform window standing in for the main window: it records WM_INSTALL_DONE,
// WM_CLOSE and WM_INSTALL_STICK_PULLED in the order they arrive, and stays open whatever it
// receives; on the pulled stick it ends the message loop, as the program ends.
class OwnerWindow {
public:
    OwnerWindow();
    ~OwnerWindow();
    OwnerWindow(const OwnerWindow&) = delete;
    OwnerWindow& operator=(const OwnerWindow&) = delete;

    HWND Handle() const { return m_hwnd; }
    const std::vector<UINT>& Received() const { return m_received; }

private:
    static LRESULT WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_hwnd = nullptr;
    std::vector<UINT> m_received;
};

// What the window showed at one moment: the status line and the bar.
struct StatusShown {
    std::wstring text;
    int bar = 0;
    bool operator==(const StatusShown&) const = default;
};

// The download window with every change of its status line or bar recorded, as the UI
// thread made it.
class ObservedDownloadWnd : public DownloadWnd {
public:
    using DownloadWnd::DownloadWnd;

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void Notify(TNotifyUI& msg) override;

    std::vector<StatusShown> shown;
    // Each change of the second line, with the bar's accessible name: "下载|第1步，共3步".
    std::vector<std::wstring> details;
    // Called on the UI thread after each change, with the change.
    std::function<void(const StatusShown&)> onShown;
    // Called once "windowinit" has started the worker.
    std::function<void()> onWindowInit;

private:
    void Observe();
};

// tests/support/http_test_server.py serving the files of `folder` under /setup/ on 127.0.0.1.
class PackageServer {
public:
    explicit PackageServer(const std::filesystem::path& folder);
    // "http://127.0.0.1:PORT/setup/" + name
    std::string Url(const std::string& name) const;
    // "127.0.0.1:PORT", for the reachability probe.
    std::string Address() const;

private:
    ScriptServer m_script;
};

// Clicks confirm_btn of the next message dialog as soon as it is on screen. Call on the UI
// thread before the dialog is shown; the click comes from a thread timer that the dialog's
// modal loop runs.
void ClickConfirmOfNextMessage();

// Dispatches what is left in the calling thread's queue (a re-posted quit is dropped).
void DrainQueue();
