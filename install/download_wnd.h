// The download and installation window: one progress bar, one status line, and the worker
// thread that checks the network, downloads the package and writes it onto the drive.
#pragma once

#include "dui/dui.h"
#include "install/install_job.h"
#include "install/package_extractor.h"
#include "install/progress_relay.h"
#include "install/read_back.h"
#include "install/worker_messages.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

// Posted by the worker to the main window when the package is on the drive.
inline constexpr UINT WM_INSTALL_DONE = WM_USER + 1014;
// Posted by the worker to the main window when writing found the stick gone (its device went
// away, or its folder no longer leads to the folder being written): the pulled-stick abort.
inline constexpr UINT WM_INSTALL_STICK_PULLED = WM_USER + 1017;

class DownloadWnd : public WindowImplBase {
public:
    // Download URL, archive path, work folder (letter paths ending with a backslash) and the
    // drive the package goes to ("E:").
    DownloadWnd(std::string downloadUrl, std::string archivePath, std::string workFolder, std::wstring extractRoot);
    // Stops a worker still running and waits for it: the worker uses this object until it ends.
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
    // sent on to m_ownerWnd (after the latest progress is shown). Also the
    // worker's progress wake-ups and failure reports, and on WM_DESTROY the worker is stopped.
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // The download's progress (download thread); always 0. A total of 0 shows nothing.
    int OnDownloadProgress(double total, double received);
    // Unpacks the archive beneath the root with progress into m_extraction; on failure the
    // extractor's error line goes to standard output.
    ExtractFailure ExtractPackage(const std::wstring& archivePath, const std::wstring& root);
    // The extraction's progress (worker thread): the debug line, then the value for the UI.
    void OnExtractProgress(std::uint64_t processed);
    // UI thread: the worker stops within one block (a file being written is removed) and posts
    // nothing more. It may still be ending when this returns.
    void StopWorker();
    // Reads the files of m_extraction back from the stick through its root handle and compares
    // them with what was written, showing its progress as a third phase. A difference is
    // printed as one line on standard output.
    ReadBackOutcome VerifyPackage();

    // The worker; `window` is this object. Pause, network check, work folder, download,
    // extraction, the read-back (unless m_verifyWrittenFiles is off), then WM_INSTALL_DONE to m_ownerWnd and WM_CLOSE (wParam 1) to the window.
    // A failure is posted to the window (WM_INSTALL_FAILED), which tells the user and closes.
    // 0 after a completed installation, -1 otherwise.
    static DWORD InstallThreadProc(LPVOID window);

    CProgressUI* m_pProgress = nullptr;
    CLabelUI* m_pStatus = nullptr;
    CDuiString m_statusText;
    HWND m_ownerWnd = nullptr;
    std::string m_downloadUrl;
    std::string m_archivePath;
    std::string m_workFolder;
    std::wstring m_extractRoot;
    // The last extraction: the files written, and the handle on the stick's root they were
    // written through (worker thread; the handle is closed when the worker ends).
    ExtractionResult m_extraction;
    // Whether the worker reads the package back from the stick after writing it.
    bool m_verifyWrittenFiles = true;

    // ---- Delivery of the worker's progress and outcome to the UI thread ----------------------
    // What the worker and its window share; made when the worker starts.
    std::shared_ptr<InstallJob> m_job;
    // Latest progress from the download thread and the worker, shown by the UI thread.
    ProgressRelay m_progressRelay;
    // At most one progress update on screen per interval: 20 a second.
    static constexpr DWORD kProgressIntervalMs = 50;
    ProgressPacer m_progressPacer{kProgressIntervalMs};
    bool m_progressTimerSet = false;
    // Unattended runs also print each status line once per whole percent; set on the UI thread
    // before the worker starts.
    bool m_printStatusLines = false;

private:
    // Starts InstallThreadProc once, on "windowinit".
    void StartInstallWorker();
    // Any thread: keeps the value for the UI thread and wakes it when no wake-up is pending.
    void PublishProgress(const ProgressValue& value);
    // UI thread: a wake-up from PublishProgress; shows now or when the pacing interval is over.
    void OnProgressWake();
    // UI thread: shows the latest published value, if there is one not shown yet.
    void ShowLatestProgress();
    void ShowStatus(LPCTSTR text, int barValue);
    // UI thread: the user is told, then the window hides and closes (WM_CLOSE, wParam 0).
    void FinishWithFailure(InstallFailure failure);
    // UI thread, on WM_CLOSE: whether the close goes on (see HandleMessage).
    bool UserMayClose(WPARAM code);

    bool m_finishing = false; // a failure is being told; the close that follows is ours
    bool m_askingToClose = false; // the question is showing
};
