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
    if (const auto window = FindWindowObject(hwnd))
        window->queue->Wake();
}

} // namespace

namespace platform {

std::optional<HWND> WindowNeedingPaint(DWORD threadId, const MessageFilter& filter)
{
    const auto candidates = SelectWindows([&](const Window& w) {
        return w.threadId == threadId && w.needsPaint && w.Visible() && !w.destroying &&
            filter.Matches(w.hwnd, WM_PAINT);
    });
    for (const auto& window : candidates)
        if (IsWindowVisible(window->hwnd))
            return window->hwnd;
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
    const auto window = FindWindowObject(hwnd);
    if (!window || !paint || !OwnedByCurrentThread(*window))
        return nullptr;
    bool erase = false;
    RECT area;
    SIZE size;
    {
        std::lock_guard lock(WindowsMutex());
        size = SIZE{window->Width(), window->Height()};
        if (window->needsPaint)
            area = Clip(window->invalid, size.cx, size.cy);
        erase = window->needsErase;
        window->needsPaint = false;
        window->needsErase = false;
        if (!window->surface) {
            window->surface = std::make_unique<HDC__>();
            window->surface->window = hwnd;
        }
    }
    HDC dc = window->surface.get();
    // Painted at the screen's resolution: the surface holds the window's size times its ratio.
    dc->scale = window->native ? std::max(CurrentDisplay()->DevicePixelRatio(hwnd), 1.0) : 1.0;
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
    const auto window = FindWindowObject(hwnd);
    if (!window || !paint || !paint->hdc || !OwnedByCurrentThread(*window))
        return FALSE;
    bool native;
    {
        std::lock_guard lock(WindowsMutex());
        native = window->native;
    }
    if (native && !IsEmpty(paint->rcPaint))
        CurrentDisplay()->Present(hwnd, *paint->hdc, paint->rcPaint);
    return TRUE;
}
