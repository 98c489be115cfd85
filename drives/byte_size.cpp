#include "drives/byte_size.h"

#include <cstdarg>
#include <cwchar>

namespace {

constexpr std::uint64_t KiB = 1024;
constexpr std::uint64_t MiB = KiB * 1024;
constexpr std::uint64_t GiB = MiB * 1024;
constexpr std::uint64_t TiB = GiB * 1024;

std::wstring Format(const wchar_t* format, ...)
{
    wchar_t buffer[64];
    va_list args;
    va_start(args, format);
    const int length = std::vswprintf(buffer, std::size(buffer), format, args);
    va_end(args);
    return length < 0 ? std::wstring() : std::wstring(buffer, static_cast<std::size_t>(length));
}

// Hundredths of x/1024 for x in [0, 1023], truncated: floor(100 * x / 1024).
int Hundredths(std::uint64_t x) { return static_cast<int>(x * 100 / 1024); }
int Thousandths(std::uint64_t x) { return static_cast<int>(x * 1000 / 1024); }
int Group(std::uint64_t v) { return static_cast<int>(v); }
// The leading group has no upper bound; it is printed as a 64-bit number so it never wraps.
unsigned long long Lead(std::uint64_t v) { return v; }

std::wstring FormatBytes(std::uint64_t bytes)
{
    const std::uint64_t a = bytes / 1000000000, r = bytes % 1000000000;
    const std::uint64_t b = r / 1000000, m = (r % 1000000) / 1000, d = r % 1000;
    if (a != 0)
        return Format(L"%llu,%03d,%03d,%03d B", Lead(a), Group(b), Group(m), Group(d));
    if (b != 0)
        return Format(L"%llu,%03d,%03d B", Lead(b), Group(m), Group(d));
    if (m != 0)
        return Format(L"%llu,%03d B", Lead(m), Group(d));
    if (d != 0)
        return Format(L"%llu B", Lead(d));
    return L"0 B";
}

std::wstring FormatKilo(std::uint64_t bytes)
{
    const std::uint64_t a = bytes / 1024000000, r = bytes % 1024000000;
    const std::uint64_t b = r / 1024000, r2 = r % 1024000;
    const std::uint64_t m = r2 / KiB, f = r2 % KiB;
    const int h = Hundredths(f);
    if (a != 0)
        return Format(L"%llu,%03d,%03d.%02d K", Lead(a), Group(b), Group(m), h);
    if (b != 0)
        return Format(L"%llu,%03d.%02d K", Lead(b), Group(m), h);
    if (m != 0)
        return Format(L"%llu.%02d K", Lead(m), h);
    if (f != 0)
        return Format(L"0.%02d K", h);
    return L"0.0 K";
}

std::wstring FormatMega(std::uint64_t bytes)
{
    const std::uint64_t a = bytes / 1048576000, r = bytes % 1048576000;
    const std::uint64_t b = r / MiB, m = (r % MiB) / KiB;
    const int h = Hundredths(m);
    if (a != 0)
        return Format(L"%llu,%03d.%02d M", Lead(a), Group(b), h);
    if (b != 0)
        return Format(L"%llu.%02d M", Lead(b), h);
    if (m != 0)
        return Format(L"0.%02d M", h);
    return L"0.0 K";
}

std::wstring FormatGiga(std::uint64_t bytes)
{
    const std::uint64_t a = bytes / GiB, b = (bytes % GiB) / MiB;
    const int h = Hundredths(b);
    if (a != 0)
        return Format(L"%llu.%02d G", Lead(a), h);
    if (b != 0)
        return Format(L"0.%02d G", h);
    return L"0.0 G";
}

std::wstring FormatTera(std::uint64_t bytes)
{
    const std::uint64_t a = bytes / TiB, b = (bytes % TiB) / GiB;
    const int t = Thousandths(b);
    if (a != 0)
        return Format(L"%llu.%03d T", Lead(a), t);
    if (b != 0)
        return Format(L"0.%03d T", t);
    return L"0.0 T";
}

} // namespace

std::wstring FormatByteSize(std::uint64_t bytes, int unit)
{
    switch (unit) {
    case Byte:
        return FormatBytes(bytes);
    case Kilo:
        return FormatKilo(bytes);
    case Mega:
        return FormatMega(bytes);
    case Giga:
        return FormatGiga(bytes);
    case Tera:
        return FormatTera(bytes);
    default:
        return std::wstring();
    }
}
