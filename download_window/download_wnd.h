// The download and installation window: one progress bar and one status line showing what the
// install worker (install/install_worker.h) does, and the close question while it works.
#pragma once

#include "download_window/install_job.h"
#include "download_window/install_request.h"
#include "download_window/worker_messages.h"
#include "dui/dui.h"
#include "session/progress_detail.h"

#include <memory>
#include <string>

class DownloadWnd : public WindowImplBase {
public:
    // What the worker installs; `owner` is the window it reports to (the main window), which
    // also receives every WM_CLOSE this window gets.
    DownloadWnd(InstallRequest request, HWND owner);
    // Stops a worker still running and waits for it to end.
    ~DownloadWnd() override;

    LPCTSTR GetWindowClassName() const override;
    CDuiString GetSkinFolder() override;
    CDuiString GetSkinFile() override;
    UILIB_RESOURCETYPE GetResourceType() const override;
    UINT GetResourceID() const override;
    void InitWindow() override;
    // "windowinit" starts the worker; everything goes on to the library.
    void Notify(TNotifyUI& msg) override;
    // WM_CLOSE by the user while the worker installs first asks whether to stop (取消, the
    // default, keeps installing; 确定 stops the worker); unattended runs never ask. Then it is
    // sent on to the owner (after the latest progress is shown). Also the worker's progress
    // wake-ups and failure reports, and on WM_DESTROY the worker is stopped.
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // UI thread: the worker stops within one block (a file being written is removed) and posts
    // nothing more. It may still be ending when this returns.
    void StopWorker();

    // The drive the package goes onto ("E:").
    const std::wstring& StickRoot() const { return m_request.stickRoot; }
    // What the window shows now: the status line, the second line and the bar's value.
    std::wstring StatusText() const;
    std::wstring DetailText() const;
    int BarValue() const;
    // The worker's job once "windowinit" has started it; null before.
    std::shared_ptr<const InstallJob> Job() const { return m_job; }

private:
    // Starts the worker once, on "windowinit".
    void StartInstallWorker();
    // UI thread: a wake-up from the worker; shows now or when the pacing interval is over.
    void OnProgressWake();
    // UI thread: shows the latest published value, if there is one not shown yet.
    void ShowLatestProgress();
    void ShowStatus(LPCTSTR text, int barValue);
    // UI thread: the user is told, then the window hides and closes (WM_CLOSE, wParam 0).
    void FinishWithFailure(InstallFailure failure, LPARAM detail);
    // UI thread, on WM_CLOSE: whether the close goes on (see HandleMessage).
    bool UserMayClose(WPARAM code);

    const InstallRequest m_request;
    const HWND m_ownerWnd;
    ProgressDetail m_detail{m_request.options.verify};
    CProgressUI* m_pProgress = nullptr;
    CLabelUI* m_pStatus = nullptr;
    // The second line: the phase's step, the speed and the time left (install/progress_detail.h).
    CLabelUI* m_pDetail = nullptr;
    CDuiString m_statusText;
    // What the worker and this window share; made when the worker starts.
    std::shared_ptr<InstallJob> m_job;
    // At most one progress update on screen per interval: 20 a second.
    static constexpr DWORD kProgressIntervalMs = 50;
    ProgressPacer m_progressPacer{kProgressIntervalMs};
    bool m_progressTimerSet = false;
    bool m_finishing = false; // a failure is being told; the close that follows is ours
    bool m_askingToClose = false; // the question is showing
};
