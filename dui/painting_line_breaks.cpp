// Line breaks for wrapping text without markup, by the rules for Chinese text (painting.h).
#include "dui/painting.h"

#include <QFontMetricsF>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

namespace dui {
namespace {

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

} // namespace

QStringList BreakLines(const QString& text, int width, const QFont& font)
{
    const QFontMetricsF metrics(font);
    QStringList lines;
    for (const QString& paragraph : text.split(QLatin1Char('\n')))
        lines += BreakParagraph(paragraph.toStdU32String(), width, metrics);
    return lines;
}

} // namespace dui
