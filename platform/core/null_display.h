// A display without native windows: every window stays inside the core. Waiting threads block
// on their own queues. Used until a real display is installed, and by the core's tests.
#pragma once

#include "platform/core/display.h"

namespace platform {

class NullDisplay final : public Display {
public:
    bool IsEventThread(DWORD) const override { return false; }
    void CreateNativeWindow(const NativeWindowSpec&) override {}
    void DestroyNativeWindow(HWND) override {}
    void SetShowState(HWND, ShowState, bool) override {}
    void SetFrame(HWND, const RECT&) override {}
    void SetTopmost(HWND, bool) override {}
    void SetToolWindow(HWND, bool) override {}
    void SetTitle(HWND, std::wstring_view) override {}
    void SetIcon(HWND, HICON) override {}
    void Raise(HWND, bool) override {}
    void SetBusyPointer(bool) override {}
    void Present(HWND, const Surface&, const RECT&) override {}
    double DevicePixelRatio(HWND) const override { return 1.0; }
    RECT WorkArea(HWND) const override { return RECT{0, 0, 1920, 1080}; }
    void ProcessPendingEvents() override {}
    void WaitForEvents(std::optional<std::chrono::milliseconds>) override {}
    void Wake() override {}
};

} // namespace platform
