// Parsing of layout attribute values: numbers, rectangles, sizes, colours, flags.
#pragma once

#include "dui/dui_types.h"

#include <optional>
#include <string_view>

namespace dui {

// "12" -> 12; garbage -> fallback.
int ParseInt(std::wstring_view text, int fallback = 0);
// "l,t,r,b" (missing parts are 0).
RECT ParseRect(std::wstring_view text);
// "cx,cy".
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
