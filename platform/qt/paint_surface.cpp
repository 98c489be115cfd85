#include "platform/paint_surface.h"
#include "platform/core/surface.h"
#include "platform/qt/qt_display.h"
#include "platform/qt/qt_native_window.h"

#include <QImage>

namespace platform {
namespace {

QtNativeWindow* NativeOf(HWND hwnd)
{
    const auto display = std::dynamic_pointer_cast<QtDisplay>(CurrentDisplay());
    return display ? display->Find(hwnd) : nullptr;
}

} // namespace

QImage* SurfaceImage(HDC dc)
{
    if (!dc || dc->width <= 0 || dc->height <= 0)
        return nullptr;
    // The view is only ever an image over the surface's pixels; it is dropped with the buffer.
    auto image = std::static_pointer_cast<QImage>(dc->view);
    if (!image) {
        image = std::make_shared<QImage>(reinterpret_cast<uchar*>(dc->pixels.data()), dc->width, dc->height,
            dc->width * 4, QImage::Format_ARGB32_Premultiplied);
        dc->view = image;
    }
    // A painter on the image works in window units and draws at the device's resolution.
    image->setDevicePixelRatio(dc->scale);
    return image.get();
}

QWindow* NativeWindowOf(HWND hwnd) { return NativeOf(hwnd); }

QImage PresentedImage(HWND hwnd)
{
    const QtNativeWindow* window = NativeOf(hwnd);
    return window ? window->Presented() : QImage();
}

} // namespace platform
