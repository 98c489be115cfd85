#include "extraction/extract_progress.h"

#include <charconv>
#include <string_view>
#include <system_error>

namespace {

// printf's "%W.Pf" without the locale: fixed notation, P decimals, padded with spaces to W.
std::wstring FormatFixed(double value, int precision, std::size_t width)
{
    char digits[400]; // the widest double in fixed notation takes 309 digits and the decimals
    const auto [end, status] =
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, precision);
    const std::string_view text =
        status == std::errc() ? std::string_view(digits, end - digits) : std::string_view("0");
    std::wstring wide;
    if (text.size() < width)
        wide.assign(width - text.size(), L' ');
    for (const char c : text)
        wide += static_cast<wchar_t>(c);
    return wide;
}

} // namespace

double ExtractPercent(std::uint64_t processed, std::uint64_t total)
{
    if (total == 0 || processed >= total)
        return 100.0;
    return static_cast<double>(processed) * 1.0 / static_cast<double>(total) * 100.0;
}

std::wstring FormatExtractStatus(double percent) { return L"正在写入文件" + FormatFixed(percent, 2, 6) + L"%"; }

std::wstring FormatVerifyStatus(double percent) { return L"正在校验文件" + FormatFixed(percent, 2, 6) + L"%"; }

std::wstring FormatExtractDebugLine(double percent) { return FormatFixed(percent, 6, 0) + L"%\n"; }
