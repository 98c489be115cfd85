// The pixels behind an HDC: the client area of one window, kept between paints.
#pragma once

#include "platform/win32_types.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace platform {

// Sized in device pixels: the window's size times `scale`, its device pixel ratio.
struct Surface {
    HWND window = nullptr;
    int width = 0;
    int height = 0;
    double scale = 1.0;
    // Premultiplied ARGB, 32 bits per pixel in native byte order, row after row.
    std::vector<std::uint32_t> pixels;
    // A view of `pixels` that painting code keeps between calls (for example an image object
    // wrapping the buffer); dropped whenever the buffer is reallocated.
    std::shared_ptr<void> view;

    void Resize(int newWidth, int newHeight);
};

// Device pixels for `units` window units at `scale`: rounded up, so the image covers the window.
int DevicePixels(int units, double scale);

} // namespace platform

// HDC is the surface itself.
struct HDC__ : platform::Surface {};
