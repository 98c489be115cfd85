// The display over Qt Gui: one frameless QtNativeWindow per top-level window, created on the
// UI thread, which waits in QCoreApplication::processEvents.
#pragma once

#include "platform/core/display.h"

#include <QTimer>

#include <map>
#include <memory>
#include <mutex>
#include <vector>

class QAbstractEventDispatcher;

namespace platform {

class QtNativeWindow;

class QtDisplay final : public Display {
public:
    // Call on the thread that runs the QGuiApplication.
    QtDisplay();
    ~QtDisplay() override;
    QtDisplay(const QtDisplay&) = delete;
    QtDisplay& operator=(const QtDisplay&) = delete;

    bool IsEventThread(DWORD threadId) const override { return threadId == m_eventThread; }
    void CreateNativeWindow(const NativeWindowSpec& spec) override;
    void DestroyNativeWindow(HWND hwnd) override;
    void SetShowState(HWND hwnd, ShowState state, bool activate) override;
    void SetFrame(HWND hwnd, const RECT& frame) override;
    void SetTopmost(HWND hwnd, bool topmost) override;
    void SetToolWindow(HWND hwnd, bool toolWindow) override;
    void SetTitle(HWND hwnd, std::wstring_view title) override;
    void SetIcon(HWND hwnd, HICON icon) override;
    void Raise(HWND hwnd, bool activate) override;
    void SetBusyPointer(bool busy) override;
    void Present(HWND hwnd, const Surface& surface, const RECT& area) override;
    double DevicePixelRatio(HWND hwnd) const override;
    RECT WorkArea(HWND hwnd) const override;
    void ProcessPendingEvents() override;
    void WaitForEvents(std::optional<std::chrono::milliseconds> timeout) override;
    void Wake() override;

    QtNativeWindow* Find(HWND hwnd) const;
    // Closes every native window and stops waking the event thread; before the application goes.
    void Shut();

private:
    void BuryDeadWindows();

    const DWORD m_eventThread;
    std::map<HWND, std::unique_ptr<QtNativeWindow>> m_windows;
    // Windows whose HWND is gone; deleted once no event of theirs is being handled.
    std::vector<std::unique_ptr<QtNativeWindow>> m_dead;
    int m_eventDepth = 0;
    QTimer m_waitLimit;
    bool m_busyPointer = false;

    std::mutex m_wakeMutex;
    QAbstractEventDispatcher* m_dispatcher = nullptr; // null once shut
};

} // namespace platform
