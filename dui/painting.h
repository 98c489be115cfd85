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

// Wrapping text (without inline markup) is broken into lines by the rules for Chinese text:
// a break may fall between any two Chinese characters but never before closing punctuation
// (，。！？、) or after opening punctuation (（“), runs of Latin letters and digits ("exFAT",
// "4.5G") stay whole unless one alone is wider than the line, and a line feed always breaks.
// Of the ways to fill the fewest lines, the one taken has the most even lines, prefers breaks
// after punctuation and leaves no single character alone on the last line where it can.
QStringList BreakLines(const QString& text, int width, const QFont& font);

// The size the text takes laid out as DrawText lays it out in `width`.
QSize TextExtent(const CDuiString& text, int width, const QFont& font, UINT style, bool html);
// The smallest pixel size text is fitted down to.
inline constexpr int kSmallestFittedPixelSize = 12;
// `font`, or the same made smaller a pixel at a time (down to kSmallestFittedPixelSize) until
// the text laid out in the area's width is no taller and no wider than the area.
QFont FitTextFont(const CDuiString& text, const QSize& area, const QFont& font, UINT style, bool html);

// Where and how large text that must fit its control is drawn: in `textArea` at `font` when it
// fits there; else, wrapping text that fits in three lines at `font` in `box` (the control's
// rectangle without its vertical inner margin) is drawn there at `font`; else it is drawn in
// `box`, made smaller as FitTextFont does.
struct FittedText {
    QFont font;
    QRect area;
};
FittedText FitText(
    const CDuiString& text, const QRect& textArea, const QRect& box, const QFont& font, UINT style, bool html);

// Draws text with DT_* placement; `html` allows the inline markup of ConvertMarkup.
void DrawText(QPainter& painter, const CDuiString& text, const QRect& rect, const QFont& font, const QColor& color,
    UINT style, bool html);

// Inline markup to HTML: {b}..{/b}, {i}..{/i}, {u}..{/u}, {c #RRGGBB}..{/c}, {n} (line break),
// the same with angle brackets; everything else is escaped text.
QString ConvertMarkup(const CDuiString& text);

} // namespace dui
