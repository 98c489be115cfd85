// The seam between the window core and whatever shows windows on screen.
//
// The core keeps every window, queue and message itself; a Display only mirrors top-level
// windows natively and feeds native input back through display_events.h. The core calls a
// Display on the window's own thread, except Wake and IsEventThread, which any thread may call.
// Until a display is installed the null display serves: windows exist, nothing is shown.
#pragma once

#include "platform/win32_window.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

struct Surface;

enum class ShowState { Hidden, Normal, Minimized };

struct NativeWindowSpec {
    HWND hwnd = nullptr;
    HWND owner = nullptr; // a native window of this display, or none
    RECT frame; // screen coordinates of the client area
    bool toolWindow = false; // no task-bar entry
    bool topmost = false;
    std::wstring title;
};

class Display {
public:
    virtual ~Display() = default;

    // Whether `threadId` runs this display's event loop. Only windows created on that thread get
    // native windows, and only that thread waits through WaitForEvents.
    virtual bool IsEventThread(DWORD threadId) const = 0;

    virtual void CreateNativeWindow(const NativeWindowSpec& spec) = 0;
    virtual void DestroyNativeWindow(HWND hwnd) = 0;
    virtual void SetShowState(HWND hwnd, ShowState state, bool activate) = 0;
    virtual void SetFrame(HWND hwnd, const RECT& frame) = 0;
    virtual void SetTopmost(HWND hwnd, bool topmost) = 0;
    virtual void SetToolWindow(HWND hwnd, bool toolWindow) = 0;
    virtual void SetTitle(HWND hwnd, std::wstring_view title) = 0;
    virtual void SetIcon(HWND hwnd, HICON icon) = 0;
    virtual void Raise(HWND hwnd, bool activate) = 0;
    // The pointer over every native window: busy (the program works, input waits) or normal.
    virtual void SetBusyPointer(bool busy) = 0;
    // Shows the client image; `area` is the part that changed, in client coordinates.
    virtual void Present(HWND hwnd, const Surface& surface, const RECT& area) = 0;
    // Device pixels per window unit of the window's screen (1 without scaling).
    virtual double DevicePixelRatio(HWND hwnd) const = 0;
    // The usable part of the screen the window is on (hwnd may be null: the primary screen).
    virtual RECT WorkArea(HWND hwnd) const = 0;

    // Event thread only: handle what is pending without blocking, or block until something
    // arrives, Wake is called or the timeout (none: no limit) passes.
    virtual void ProcessPendingEvents() = 0;
    virtual void WaitForEvents(std::optional<std::chrono::milliseconds> timeout) = 0;
    // Any thread: makes a blocked (or the next) WaitForEvents return.
    virtual void Wake() = 0;
};

// The display in use; never null.
std::shared_ptr<Display> CurrentDisplay();
// Installs `display` (null: back to the null display). Windows created before keep the
// display they were created with only as far as their native windows go: install the display
// before creating windows.
void InstallDisplay(std::shared_ptr<Display> display);

} // namespace platform
