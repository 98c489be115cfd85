// Byte counts as short texts in a chosen unit ("12.34 G").
#pragma once

#include <cstdint>
#include <string>

enum SizeUnit : int { Byte = 0, Kilo = 1, Mega = 2, Giga = 3, Tera = 4 };

// Groups of three decimal digits separated by commas, two truncated decimals for K, M and G.
// The Giga text is always "<number> G"; drive free space is read back from it.
// Tera shows whole tebibytes and truncated thousandths ("1.500 T", "0.250 T", "0.0 T").
// Any other unit value gives the empty text.
std::wstring FormatByteSize(std::uint64_t bytes, int unit);
