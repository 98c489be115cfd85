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

bool IsClosingPunctuation(char32_t c)
{
    static const std::u32string_view closing = U"，。！？、；：）」』】》〉〕”’…—·%,.!?;:)]}>";
    return closing.find(c) != std::u32string_view::npos;
}

bool IsOpeningPunctuation(char32_t c)
{
    static const std::u32string_view opening = U"（「『【《〈〔“‘([{<";
    return opening.find(c) != std::u32string_view::npos;
}

// Letters and digits of a Latin word, a number, a version, an address: kept on one line.
bool IsWordCharacter(char32_t c)
{
    return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') || (c >= U'0' && c <= U'9') || c == U'.' || c == U'_' ||
        c == U'-' || c == U'/' || c == U'@' || c == U'\\' || c == U':';
}

bool IsSentencePunctuation(char32_t c)
{
    static const std::u32string_view marks = U"，。！？；：、,;!?";
    return marks.find(c) != std::u32string_view::npos;
}

// Whether a line may end between `before` and `after`.
bool MayBreakBetween(char32_t before, char32_t after)
{
    if (IsClosingPunctuation(after) || IsOpeningPunctuation(before))
        return false;
    if (before == U' ')
        return true;
    if (after == U' ')
        return false;
    if (IsWordCharacter(before) && IsWordCharacter(after))
        return false;
    return true;
}

// A piece of text no break falls inside, and what ends it.
struct Piece {
    QString text;
    double width = 0;
    bool afterPunctuation = false; // it ends in sentence punctuation: a good place for a break
    int letters = 0; // characters other than punctuation and spaces
};

std::vector<Piece> CutIntoPieces(const std::u32string& text, const QFontMetricsF& metrics, int width)
{
    std::vector<Piece> pieces;
    std::u32string current;
    const auto flush = [&] {
        if (current.empty())
            return;
        Piece piece;
        piece.text = QString::fromStdU32String(current);
        piece.width = metrics.horizontalAdvance(piece.text);
        piece.afterPunctuation = IsSentencePunctuation(current.back());
        for (const char32_t c : current)
            if (c != U' ' && !IsClosingPunctuation(c) && !IsOpeningPunctuation(c))
                ++piece.letters;
        pieces.push_back(std::move(piece));
        current.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i > 0 && MayBreakBetween(text[i - 1], text[i]))
            flush();
        current += text[i];
    }
    flush();
    // A word wider than the whole line is cut where it must be.
    std::vector<Piece> fitting;
    for (Piece& piece : pieces) {
        if (piece.width <= width || piece.text.size() <= 1) {
            fitting.push_back(std::move(piece));
            continue;
        }
        std::u32string chars = piece.text.toStdU32String();
        std::u32string part;
        for (const char32_t c : chars) {
            const std::u32string longer = part + c;
            if (!part.empty() && metrics.horizontalAdvance(QString::fromStdU32String(longer)) > width) {
                Piece cut;
                cut.text = QString::fromStdU32String(part);
                cut.width = metrics.horizontalAdvance(cut.text);
                cut.letters = static_cast<int>(part.size());
                fitting.push_back(std::move(cut));
                part.clear();
            }
            part += c;
        }
        Piece rest;
        rest.text = QString::fromStdU32String(part);
        rest.width = metrics.horizontalAdvance(rest.text);
        rest.afterPunctuation = piece.afterPunctuation;
        rest.letters = static_cast<int>(part.size());
        fitting.push_back(std::move(rest));
    }
    return fitting;
}

// One paragraph (no line feed) broken into lines.
QStringList BreakParagraph(const std::u32string& text, int width, const QFontMetricsF& metrics)
{
    const std::vector<Piece> pieces = CutIntoPieces(text, metrics, width);
    const std::size_t n = pieces.size();
    if (n == 0)
        return {QString()};
    // The width of pieces [from, to) on one line; spaces at its end take no room.
    const auto lineWidth = [&](std::size_t from, std::size_t to) {
        QString line;
        for (std::size_t i = from; i < to; ++i)
            line += pieces[i].text;
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        return metrics.horizontalAdvance(line);
    };
    // The fewest lines, filled greedily.
    int fewest = 0;
    for (std::size_t at = 0; at < n; ++fewest) {
        std::size_t end = at + 1;
        while (end < n && lineWidth(at, end + 1) <= width)
            ++end;
        at = end;
    }
    // best[k][i]: the lowest cost of the first i pieces in k lines; cost grows with the room
    // left on each line (squared), is lowered by breaks after punctuation, and is raised much
    // for a last line holding a single character.
    const double big = 1e18;
    const double room = std::max(1, width);
    std::vector<std::vector<double>> best(fewest + 1, std::vector<double>(n + 1, big));
    std::vector<std::vector<std::size_t>> from(fewest + 1, std::vector<std::size_t>(n + 1, 0));
    best[0][0] = 0;
    for (int k = 1; k <= fewest; ++k) {
        for (std::size_t i = 1; i <= n; ++i) {
            for (std::size_t j = i; j-- > 0;) {
                const double w = lineWidth(j, i);
                if (w > width && i - j > 1)
                    break;
                if (best[k - 1][j] >= big)
                    continue;
                const double slack = (room - w) / room;
                double cost = slack * slack;
                const bool last = i == n;
                if (!last && pieces[i - 1].afterPunctuation)
                    cost -= 0.3;
                if (last && k > 1) {
                    int letters = 0;
                    for (std::size_t p = j; p < i; ++p)
                        letters += pieces[p].letters;
                    if (letters <= 1)
                        cost += 10.0;
                }
                if (best[k - 1][j] + cost < best[k][i]) {
                    best[k][i] = best[k - 1][j] + cost;
                    from[k][i] = j;
                }
            }
        }
    }
    QStringList lines;
    for (std::size_t i = n, k = static_cast<std::size_t>(fewest); k > 0; --k) {
        const std::size_t j = from[k][i];
        QString line;
        for (std::size_t p = j; p < i; ++p)
            line += pieces[p].text;
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        lines.prepend(line);
        i = j;
    }
    return lines;
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

QStringList BreakLines(const QString& text, int width, const QFont& font)
{
    const QFontMetricsF metrics(font);
    QStringList lines;
    for (const QString& paragraph : text.split(QLatin1Char('\n')))
        lines += BreakParagraph(paragraph.toStdU32String(), width, metrics);
    return lines;
}

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
