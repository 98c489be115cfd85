#include "platform/core/surface.h"

#include <algorithm>
#include <cmath>

namespace platform {

int DevicePixels(int units, double scale) { return static_cast<int>(std::ceil(units * scale - 1e-6)); }

void Surface::Resize(int newWidth, int newHeight)
{
    newWidth = std::max(newWidth, 0);
    newHeight = std::max(newHeight, 0);
    if (newWidth == width && newHeight == height)
        return;
    std::vector<std::uint32_t> resized(static_cast<std::size_t>(newWidth) * static_cast<std::size_t>(newHeight), 0);
    const int keepWidth = std::min(width, newWidth);
    for (int y = 0; y < std::min(height, newHeight); ++y)
        std::copy_n(pixels.begin() + static_cast<std::ptrdiff_t>(y) * width, keepWidth,
            resized.begin() + static_cast<std::ptrdiff_t>(y) * newWidth);
    pixels = std::move(resized);
    width = newWidth;
    height = newHeight;
    view.reset();
}

} // namespace platform
