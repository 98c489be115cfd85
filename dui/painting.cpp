#include "dui/painting.h"

#include "dui/attributes.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QTextDocument>
#include <QTextOption>

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

namespace dui {
namespace {

// Reads the value of key='value' from an image attribute; empty when absent.
std::wstring QuotedValue(std::wstring_view text, std::wstring_view key)
{
    std::size_t at = 0;
    while ((at = text.find(key, at)) != std::wstring_view::npos) {
        const bool startsWord = at == 0 || text[at - 1] == L' ';
        std::size_t p = at + key.size();
        while (p < text.size() && text[p] == L' ')
            ++p;
        if (startsWord && p < text.size() && text[p] == L'=') {
            ++p;
            while (p < text.size() && text[p] == L' ')
                ++p;
            if (p < text.size() && (text[p] == L'\'' || text[p] == L'"')) {
                const wchar_t quote = text[p];
                const auto end = text.find(quote, p + 1);
                if (end != std::wstring_view::npos)
                    return std::wstring(text.substr(p + 1, end - p - 1));
            }
        }
        at += key.size();
    }
    return {};
}

} // namespace

ImageSpec ParseImageSpec(const CDuiString& value)
{
    ImageSpec spec;
    const std::wstring_view text = value.view();
    if (text.find(L'=') == std::wstring_view::npos) {
        spec.file = value;
        return spec;
    }
    spec.file = QuotedValue(text, L"file");
    const std::wstring source = QuotedValue(text, L"source");
    if (!source.empty()) {
        spec.source = ParseRect(source);
        spec.hasSource = !RectIsEmpty(spec.source);
    }
    const std::wstring corner = QuotedValue(text, L"corner");
    if (!corner.empty())
        spec.corner = ParseRect(corner);
    return spec;
}

void DrawImage(QPainter& painter, const QImage& image, const ImageSpec& spec, const QRect& dest)
{
    if (image.isNull() || dest.isEmpty())
        return;
    QRect source = spec.hasSource ? ToQRect(spec.source) : image.rect();
    source = source.intersected(image.rect());
    if (source.isEmpty())
        return;
    const RECT& c = spec.corner;
    const bool sliced = c.left || c.top || c.right || c.bottom;
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    if (!sliced) {
        painter.drawImage(dest, image, source);
        painter.restore();
        return;
    }
    // Nine parts: corners unscaled, edges stretched one way, the middle both ways. Corners
    // larger than the destination shrink to fit it.
    const int l = std::min<int>(c.left, dest.width() / 2 + dest.width() % 2);
    const int r = std::min<int>(c.right, dest.width() - l);
    const int t = std::min<int>(c.top, dest.height() / 2 + dest.height() % 2);
    const int b = std::min<int>(c.bottom, dest.height() - t);
    const int xs[4] = {source.left(), source.left() + static_cast<int>(c.left),
        source.right() + 1 - static_cast<int>(c.right), source.right() + 1};
    const int ys[4] = {source.top(), source.top() + static_cast<int>(c.top),
        source.bottom() + 1 - static_cast<int>(c.bottom), source.bottom() + 1};
    const int xd[4] = {dest.left(), dest.left() + l, dest.right() + 1 - r, dest.right() + 1};
    const int yd[4] = {dest.top(), dest.top() + t, dest.bottom() + 1 - b, dest.bottom() + 1};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            const QRect from(QPoint(xs[col], ys[row]), QPoint(xs[col + 1] - 1, ys[row + 1] - 1));
            const QRect to(QPoint(xd[col], yd[row]), QPoint(xd[col + 1] - 1, yd[row + 1] - 1));
            if (from.isValid() && to.isValid() && !from.isEmpty() && !to.isEmpty())
                painter.drawImage(to, image, from);
        }
    }
    painter.restore();
}

QFont MakeFont(const TFontInfo& info)
{
    QFont font;
    QStringList families;
    if (!info.sFontName.empty())
        families << QString::fromStdWString(info.sFontName);
    // fontconfig knows no alias for the Windows CJK face names: name the CJK faces of a Linux
    // desktop after it, so Latin letters and digits do not fall back to a Latin face.
    for (const char* fallback : {"SimHei", "WenQuanYi Zen Hei", "Noto Sans CJK SC", "Droid Sans Fallback"}) {
        const QString name = QString::fromUtf8(fallback);
        if (!families.contains(name))
            families << name;
    }
    font.setFamilies(families);
    font.setPixelSize(std::max(1, info.iSize));
    font.setBold(info.bBold);
    font.setUnderline(info.bUnderline);
    font.setItalic(info.bItalic);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

QString ConvertMarkup(const CDuiString& text)
{
    const std::wstring_view in = text.view();
    QString html;
    std::size_t i = 0;
    while (i < in.size()) {
        const wchar_t ch = in[i];
        if (ch == L'{' || ch == L'<') {
            const wchar_t close = ch == L'{' ? L'}' : L'>';
            const auto end = in.find(close, i + 1);
            if (end != std::wstring_view::npos) {
                const std::wstring tag(in.substr(i + 1, end - i - 1));
                QString replacement;
                bool known = true;
                if (tag == L"b" || tag == L"i" || tag == L"u")
                    replacement = QStringLiteral("<%1>").arg(QString::fromStdWString(tag));
                else if (tag == L"/b" || tag == L"/i" || tag == L"/u")
                    replacement = QStringLiteral("<%1>").arg(QString::fromStdWString(tag));
                else if (tag == L"n")
                    replacement = QStringLiteral("<br/>");
                else if (tag == L"/c")
                    replacement = QStringLiteral("</span>");
                else if (tag.starts_with(L"c ") || tag.starts_with(L"c#")) {
                    const auto color = ParseColor(std::wstring_view(tag).substr(1));
                    const QColor qc = color ? ToQColor(*color) : QColor(Qt::black);
                    replacement = QStringLiteral("<span style=\"color:%1\">").arg(qc.name());
                } else
                    known = false;
                if (known) {
                    html += replacement;
                    i = end + 1;
                    continue;
                }
            }
        }
        html += QString::fromStdWString(std::wstring(1, ch)).toHtmlEscaped();
        ++i;
    }
    return html;
}

namespace {

Qt::Alignment HorizontalAlignment(UINT style)
{
    if (style & DT_CENTER)
        return Qt::AlignHCenter;
    if (style & DT_RIGHT)
        return Qt::AlignRight;
    return Qt::AlignLeft;
}

bool Wraps(UINT style) { return (style & DT_WORDBREAK) && !(style & DT_SINGLELINE); }

// The markup laid out in `width`, as DrawText draws it.
void LayOutMarkup(
    QTextDocument& document, const CDuiString& text, int width, const QFont& font, const QColor& color, UINT style)
{
    document.setDocumentMargin(0);
    document.setDefaultFont(font);
    QTextOption option(HorizontalAlignment(style));
    option.setWrapMode(Wraps(style) ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
    document.setDefaultTextOption(option);
    document.setHtml(
        QStringLiteral("<span style=\"color:%1\">%2</span>").arg(color.name(QColor::HexArgb), ConvertMarkup(text)));
    document.setTextWidth(width);
}

// Whether markup text holds any markup: without any it is laid out as plain text.
bool HasMarkup(const CDuiString& text)
{
    return ConvertMarkup(text) != QString::fromStdWString(text.str()).toHtmlEscaped();
}

int BlockHeight(int lines, const QFontMetrics& metrics)
{
    return lines <= 0 ? 0 : (lines - 1) * metrics.lineSpacing() + metrics.height();
}

} // namespace

QSize TextExtent(const CDuiString& text, int width, const QFont& font, UINT style, bool html)
{
    if (Wraps(style) && (!html || !HasMarkup(text))) {
        const QStringList lines = BreakLines(QString::fromStdWString(text.str()), width, font);
        const QFontMetrics metrics(font);
        int widest = 0;
        for (const QString& line : lines)
            widest = std::max(widest, metrics.horizontalAdvance(line));
        return QSize(widest, BlockHeight(static_cast<int>(lines.size()), metrics));
    }
    if (html) {
        QTextDocument document;
        LayOutMarkup(document, text, width, font, QColor(Qt::black), style);
        return QSize(
            static_cast<int>(std::ceil(document.idealWidth())), static_cast<int>(std::ceil(document.size().height())));
    }
    const int flags = Wraps(style) ? Qt::TextWordWrap : Qt::TextSingleLine;
    return QFontMetrics(font)
        .boundingRect(QRect(0, 0, width, 1 << 20), flags, QString::fromStdWString(text.str()))
        .size();
}

QFont FitTextFont(const CDuiString& text, const QSize& area, const QFont& font, UINT style, bool html)
{
    QFont fitted = font;
    for (;;) {
        const QSize extent = TextExtent(text, area.width(), fitted, style, html);
        if ((extent.height() <= area.height() && extent.width() <= area.width()) ||
            fitted.pixelSize() <= kSmallestFittedPixelSize)
            return fitted;
        fitted.setPixelSize(fitted.pixelSize() - 1);
    }
}

FittedText FitText(
    const CDuiString& text, const QRect& textArea, const QRect& box, const QFont& font, UINT style, bool html)
{
    const auto fits = [&](const QRect& area, const QFont& f) {
        const QSize extent = TextExtent(text, area.width(), f, style, html);
        return extent.width() <= area.width() && extent.height() <= area.height();
    };
    if (fits(textArea, font))
        return FittedText{font, textArea};
    constexpr int kMostLinesBeforeShrinking = 3;
    if (Wraps(style) && fits(box, font) &&
        TextExtent(text, box.width(), font, style, html).height() <=
            BlockHeight(kMostLinesBeforeShrinking, QFontMetrics(font)))
        return FittedText{font, box};
    return FittedText{FitTextFont(text, box.size(), font, style, html), box};
}

void DrawText(QPainter& painter, const CDuiString& text, const QRect& rect, const QFont& font, const QColor& color,
    UINT style, bool html)
{
    if (text.IsEmpty() || rect.isEmpty())
        return;
    const Qt::Alignment horizontal = HorizontalAlignment(style);
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    painter.setFont(font);
    painter.setPen(color);
    const bool wrap = Wraps(style);

    if (wrap && (!html || !HasMarkup(text))) {
        const QStringList lines = BreakLines(QString::fromStdWString(text.str()), rect.width(), font);
        const QFontMetrics metrics(font);
        const int height = BlockHeight(static_cast<int>(lines.size()), metrics);
        int top = rect.top();
        if (style & DT_VCENTER)
            top += (rect.height() - height) / 2;
        else if (style & DT_BOTTOM)
            top += rect.height() - height;
        for (const QString& line : lines) {
            painter.drawText(QRect(rect.left(), top, rect.width(), metrics.height()),
                static_cast<int>(horizontal | Qt::AlignTop) | Qt::TextSingleLine, line);
            top += metrics.lineSpacing();
        }
        painter.restore();
        return;
    }
    if (html) {
        QTextDocument document;
        LayOutMarkup(document, text, rect.width(), font, color, style);
        const int height = static_cast<int>(document.size().height());
        int top = rect.top();
        if (style & DT_VCENTER)
            top += (rect.height() - height) / 2;
        else if (style & DT_BOTTOM)
            top += rect.height() - height;
        painter.translate(rect.left(), top);
        QAbstractTextDocumentLayout::PaintContext context;
        context.palette.setColor(QPalette::Text, color);
        document.documentLayout()->draw(&painter, context);
        painter.restore();
        return;
    }

    Qt::Alignment vertical = Qt::AlignTop;
    if (style & DT_VCENTER)
        vertical = Qt::AlignVCenter;
    else if (style & DT_BOTTOM)
        vertical = Qt::AlignBottom;
    QString shown = QString::fromStdWString(text.str());
    int flags = static_cast<int>(horizontal | vertical);
    if (wrap) {
        flags |= Qt::TextWordWrap;
    } else {
        flags |= Qt::TextSingleLine;
        if (style & DT_END_ELLIPSIS)
            shown = QFontMetrics(font).elidedText(shown, Qt::ElideRight, rect.width());
    }
    painter.drawText(rect, flags, shown);
    painter.restore();
}

} // namespace dui
