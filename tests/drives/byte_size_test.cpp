#include "drives/byte_size.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

struct Row {
    std::uint64_t bytes;
    const wchar_t* byte;
    const wchar_t* kilo;
    const wchar_t* mega;
    const wchar_t* giga;
};

const Row kRows[] = {
    {0, L"0 B", L"0.0 K", L"0.0 K", L"0.0 G"},
    {1, L"1 B", L"0.00 K", L"0.0 K", L"0.0 G"},
    {1000, L"1,000 B", L"0.97 K", L"0.0 K", L"0.0 G"},
    {1023, L"1,023 B", L"0.99 K", L"0.0 K", L"0.0 G"},
    {1024, L"1,024 B", L"1.00 K", L"0.00 M", L"0.0 G"},
    {1048575, L"1,048,575 B", L"1,023.99 K", L"0.99 M", L"0.0 G"},
    {1048576, L"1,048,576 B", L"1,024.00 K", L"1.00 M", L"0.00 G"},
    {11534336, L"11,534,336 B", L"11,264.00 K", L"11.00 M", L"0.01 G"},
    {1073741824, L"1,073,741,824 B", L"1,048,576.00 K", L"1,024.00 M", L"1.00 G"},
    {4831838207, L"4,831,838,207 B", L"4,718,591.99 K", L"4,607.99 M", L"4.49 G"},
    {4831838208, L"4,831,838,208 B", L"4,718,592.00 K", L"4,608.00 M", L"4.50 G"},
    {2000398934016, L"2000,398,934,016 B", L"1953,514,584.00 K", L"1907,729.08 M", L"1863.01 G"},
    // Leading groups beyond 32 bits print whole instead of wrapping.
    {UINT64_MAX, L"18446744073,709,551,615 B", L"18014398509,481,983.99 K", L"17592186044,415.99 M",
        L"17179869183.99 G"},
};

TEST(FormatByteSize, EveryUnitMatchesTheTable)
{
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.bytes);
        EXPECT_EQ(FormatByteSize(row.bytes, Byte), row.byte);
        EXPECT_EQ(FormatByteSize(row.bytes, Kilo), row.kilo);
        EXPECT_EQ(FormatByteSize(row.bytes, Mega), row.mega);
        EXPECT_EQ(FormatByteSize(row.bytes, Giga), row.giga);
    }
}

TEST(FormatByteSize, TeraShowsThousandthsOfATebibyte)
{
    constexpr std::uint64_t GiB = 1ull << 30, TiB = 1ull << 40;
    const struct {
        std::uint64_t bytes;
        const wchar_t* text;
    } rows[] = {
        {0, L"0.0 T"},
        {GiB - 1, L"0.0 T"},
        {GiB, L"0.000 T"},
        {TiB / 4, L"0.250 T"},
        {TiB + TiB / 2, L"1.500 T"},
        {2 * TiB - 1, L"1.999 T"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(FormatByteSize(row.bytes, Tera), row.text) << row.bytes;
}

TEST(FormatByteSize, UnitsOutsideTheEnumerationGiveEmptyText)
{
    for (const int unit : {-1, 5, 1000})
        EXPECT_EQ(FormatByteSize(4831838208, unit), L"") << unit;
}

} // namespace
