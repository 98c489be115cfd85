// Drawing on a window from its WM_PAINT handler with Qt:
//
//   PAINTSTRUCT ps;
//   HDC dc = BeginPaint(hwnd, &ps);
//   if (QImage* image = platform::SurfaceImage(dc)) {
//       QPainter painter(image);   // the whole client area; ps.rcPaint is what needs painting
//       ...
//   }
//   EndPaint(hwnd, &ps);           // shows the image
//
// The image keeps what was drawn on it between paints. It stays valid until the window is
// resized or destroyed; take it again after each BeginPaint.
#pragma once

#include "platform/win32_types.h"

class QImage;
class QWindow;

namespace platform {

// The client-area image behind a device context, Format_ARGB32_Premultiplied; null for a null
// device context or an empty client area.
QImage* SurfaceImage(HDC dc);

// The native window that shows a top-level window, or null (no UI initialised, a window of
// another thread, a child window). For tests and diagnostics.
QWindow* NativeWindowOf(HWND hwnd);
// The image the native window shows, as presented by the last EndPaint; null image if none.
QImage PresentedImage(HWND hwnd);

} // namespace platform
