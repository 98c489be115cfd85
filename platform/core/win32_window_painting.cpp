// Invalid regions, WM_PAINT generation and the paint surfaces behind HDCs.
#include "platform/core/display.h"
#include "platform/core/window_core.h"

#include <algorithm>

using namespace platform;

namespace {

bool IsEmpty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

RECT Union(const RECT& a, const RECT& b)
{
    if (IsEmpty(a))
        return b;
    if (IsEmpty(b))
        return a;
    return RECT{
        std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

RECT Clip(const RECT& r, int width, int height)
{
    return RECT{std::max<LONG>(r.left, 0), std::max<LONG>(r.top, 0), std::min<LONG>(r.right, width),
        std::min<LONG>(r.bottom, height)};
}

void WakeOwner(HWND hwnd)
{
    if (const WindowRef window = FindWindowRef(hwnd))
        window.Queue()->Wake();
}

} // namespace

namespace platform {

std::optional<HWND> WindowNeedingPaint(DWORD threadId, const MessageFilter& filter)
{
    const auto candidates = SelectWindows([&](const Window& w) {
        return w.threadId == threadId && w.needsPaint && w.Visible() && !w.destroying &&
            filter.Matches(w.hwnd, WM_PAINT);
    });
    for (const HWND window : candidates)
        if (IsWindowVisible(window))
            return window;
    return std::nullopt;
}

void InvalidateWholeWindow(HWND hwnd) { InvalidateRect(hwnd, nullptr, TRUE); }

} // namespace platform

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase)
{
    const bool found = WithWindow(hwnd, [&](Window& w) {
        const RECT area = Clip(rect ? *rect : RECT{0, 0, w.Width(), w.Height()}, w.Width(), w.Height());
        if (IsEmpty(area) && rect)
            return true;
        w.invalid = w.needsPaint ? Union(w.invalid, area) : area;
        w.needsPaint = true;
        w.needsErase = w.needsErase || erase;
        return true;
    }).value_or(false);
    if (!found)
        return FALSE;
    WakeOwner(hwnd);
    return TRUE;
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* paint)
{
    // Held to the end: the surface belongs to the record.
    const WindowRef window = FindWindowRef(hwnd);
    if (!window || !paint || !window.OwnedByCurrentThread())
        return nullptr;
    bool erase = false;
    bool native = false;
    RECT area;
    SIZE size;
    const HDC dc = *WithWindow(window, [&](Window& w) {
        size = SIZE{w.Width(), w.Height()};
        if (w.needsPaint)
            area = Clip(w.invalid, size.cx, size.cy);
        erase = w.needsErase;
        w.needsPaint = false;
        w.needsErase = false;
        if (!w.surface) {
            w.surface = std::make_unique<HDC__>();
            w.surface->window = hwnd;
        }
        native = w.native;
        return w.surface.get();
    });
    // Painted at the screen's resolution: the surface holds the window's size times its ratio.
    dc->scale = native ? std::max(CurrentDisplay()->DevicePixelRatio(hwnd), 1.0) : 1.0;
    dc->Resize(DevicePixels(size.cx, dc->scale), DevicePixels(size.cy, dc->scale));
    if (erase)
        erase = SendMessageW(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) == 0;
    paint->hdc = dc;
    paint->fErase = erase ? TRUE : FALSE;
    paint->rcPaint = area;
    return dc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* paint)
{
    const WindowRef window = FindWindowRef(hwnd);
    if (!window || !paint || !paint->hdc || !window.OwnedByCurrentThread())
        return FALSE;
    const bool native = *WithWindow(window, [](const Window& w) { return w.native; });
    if (native && !IsEmpty(paint->rcPaint))
        CurrentDisplay()->Present(hwnd, *paint->hdc, paint->rcPaint);
    return TRUE;
}
