// Qt side of painting, shared by the controls and the paint manager (not for application code).
#pragma once

#include "dui/dui_string.h"

#include <QColor>
#include <QFont>
#include <QRect>
#include <QSize>

class QImage;
class QPainter;

namespace dui {

inline QColor ToQColor(DWORD argb) { return QColor::fromRgba(static_cast<QRgb>(argb)); }
inline QRect ToQRect(const RECT& rc) { return QRect(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top); }

// An image attribute: a plain path, or file='..' with source='l,t,r,b' (part of the image)
// and corner='l,t,r,b' (edges kept unscaled when the image is stretched).
struct ImageSpec {
    CDuiString file;
    RECT source;
    bool hasSource = false;
    RECT corner;
};
ImageSpec ParseImageSpec(const CDuiString& value);

// Draws the image into `dest`, stretching the middle and keeping the corners.
void DrawImage(QPainter& painter, const QImage& image, const ImageSpec& spec, const QRect& dest);

// The font of a font table entry. The face comes with fallbacks so that CJK text and the
// digits and Latin letters in it render with one CJK face.
QFont MakeFont(const TFontInfo& info);

// The size the text takes laid out as DrawText lays it out in `width`.
QSize TextExtent(const CDuiString& text, int width, const QFont& font, UINT style, bool html);
// `font`, or the same made smaller a pixel at a time (down to 8 pixels) until the text laid out
// in the area's width is no taller and no wider than the area.
QFont FitTextFont(const CDuiString& text, const QSize& area, const QFont& font, UINT style, bool html);

// Draws text with DT_* placement; `html` allows the inline markup of ConvertMarkup.
void DrawText(QPainter& painter, const CDuiString& text, const QRect& rect, const QFont& font, const QColor& color,
    UINT style, bool html);

// Inline markup to HTML: {b}..{/b}, {i}..{/i}, {u}..{/u}, {c #RRGGBB}..{/c}, {n} (line break),
// the same with angle brackets; everything else is escaped text.
QString ConvertMarkup(const CDuiString& text);

} // namespace dui
