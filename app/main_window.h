// CDuiFrameWnd: the main window, skinned by "mainWnd.xml" from the embedded skin archive.
// Its constructor picks the hard disk that receives the download.
#pragma once

#include "drives/drive_info.h"
#include "dui/window_impl_base.h"

class CompleteWnd;

// The completion window of this run, once it is opened; never deleted. It lives until the
// process ends, as every window but the dialog: when a quit unwinds its modal loop its window
// may still exist and use the object. Held here, as g_downloadWnd holds the download window.
extern CompleteWnd* g_completeWnd;

class CDuiFrameWnd : public WindowImplBase {
public:
    // m_downloadDisk = PickDownloadDisk(), copied into g_downloadDisk.
    CDuiFrameWnd();
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
};
