// CDuiFrameWnd: the main window, skinned by "mainWnd.xml" from the embedded skin archive.
// Its constructor picks the hard disk that receives the download.
#pragma once

#include "app/run_outcome.h"
#include "drives/drive_info.h"
#include "dui/window_impl_base.h"
#include "session/run_options.h"

#include <memory>

class CompleteWnd;

class CDuiFrameWnd : public WindowImplBase {
public:
    // m_downloadDisk = PickDownloadDisk(), copied into g_downloadDisk; `options`: the run's.
    explicit CDuiFrameWnd(RunOptions options);
    // The completion window goes first, its window with it.
    ~CDuiFrameWnd() override;

    LPCTSTR GetWindowClassName() const override;
    CDuiString GetSkinFolder() override;
    CDuiString GetSkinFile() override;
    UILIB_RESOURCETYPE GetResourceType() const override;
    CDuiString GetZIPFileName() const override;
    UINT GetResourceID() const override;

    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT HandleCustomMessage(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled) override;

    // The hard disk chosen at construction; never changed afterwards.
    DriveInfo m_downloadDisk;
    // The download folder; empty until the start flow sets it.
    CDuiString m_workFolder;

    // UI thread only, as every member.
    RunOptions m_options;
    // How the run has ended so far; RunInstaller returns it once the window's loop ends.
    RunOutcome m_outcome = RunOutcome::Pending;
    // While the start flow's size probe waits: drive notifications are checked as if nothing had
    // started, and the check runs again once the probe returns.
    bool m_sizeProbeRunning = false;

private:
    // The completion window, once it is opened. It lives as long as this window: when a quit
    // unwinds its modal loop, its window may still exist and use the object.
    std::unique_ptr<CompleteWnd> m_completeWnd;
};
