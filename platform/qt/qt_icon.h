// Icons: an HICON is a decoded image, shared and kept for the rest of the program.
#pragma once

#include "platform/win32_types.h"

#include <QIcon>
#include <QImage>

struct HICON__ {
    QImage image;
};

namespace platform {

// The icon as Qt shows it; an empty icon for null.
QIcon IconOf(HICON icon);
// An icon from encoded image data (PNG and the other formats Qt reads); null when the data
// holds no image. The icon lives as long as the program.
HICON IconFromImageData(const void* data, std::size_t size);

} // namespace platform
