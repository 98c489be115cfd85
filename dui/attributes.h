// Parsing of layout attribute values: numbers, rectangles, sizes, colours, flags.
#pragma once

#include "dui/dui_types.h"

#include <optional>
#include <string_view>

namespace dui {

// Layout numbers (sizes, paddings, insets, positions in pixels) are kept within
// +-kLargestLength, and laid-out positions within +-kLargestCoordinate, so that the sums the
// layout makes of them stay far inside int.
inline constexpr int kLargestLength = 1 << 16;
inline constexpr int kLargestCoordinate = 1 << 24;

// "12" -> 12; garbage -> fallback; beyond the int range the nearest int.
int ParseInt(std::wstring_view text, int fallback = 0);
// A layout number: ParseInt kept within +-kLargestLength.
int ParseLength(std::wstring_view text, int fallback = 0);
// "l,t,r,b" (missing parts are 0), each a layout number.
RECT ParseRect(std::wstring_view text);
// "cx,cy", each a layout number.
SIZE ParseSize(std::wstring_view text);
// "#AARRGGBB", "#RRGGBB" (opaque), "0xAARRGGBB"; nullopt when unreadable.
std::optional<DWORD> ParseColor(std::wstring_view text);
// "true"/"1" -> true, anything else false.
bool ParseBool(std::wstring_view text);

inline int RectWidth(const RECT& rc) { return rc.right - rc.left; }
inline int RectHeight(const RECT& rc) { return rc.bottom - rc.top; }
inline bool RectContains(const RECT& rc, POINT pt)
{
    return pt.x >= rc.left && pt.x < rc.right && pt.y >= rc.top && pt.y < rc.bottom;
}
inline bool RectIsEmpty(const RECT& rc) { return rc.right <= rc.left || rc.bottom <= rc.top; }

} // namespace dui
