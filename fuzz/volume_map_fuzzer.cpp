// The volume map a user or a test names in INSTALLER_VOLUME_MAP: either every line parses into
// a volume with its own letter and an absolute folder, or the map is refused with one line
// naming the file and line. Byte counts ("free=4.5G") are checked against long double
// arithmetic.
#include "fuzz_support.h"

#include "platform/volumes/volume_map.h"
#include "platform/win32_strings.h"

#include <cctype>
#include <cmath>
#include <set>

namespace {

// The value of a byte count as long double, or a negative number when it is not one.
long double ApproximateByteCount(std::string_view text)
{
    long double unit = 1;
    if (!text.empty()) {
        const int last = std::toupper(static_cast<unsigned char>(text.back()));
        const int shift = last == 'K' ? 10 : last == 'M' ? 20 : last == 'G' ? 30 : last == 'T' ? 40 : 0;
        if (shift != 0) {
            unit = std::ldexp(1.0L, shift);
            text.remove_suffix(1);
        }
    }
    long double value = 0;
    long double scale = 0; // 0 before the dot, then 0.1, 0.01, ...
    bool digits = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.' && scale == 0 && digits && i + 1 < text.size()) {
            scale = 0.1L;
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            digits = true;
            if (scale == 0) {
                value = value * 10 + (c - '0');
            } else {
                value += (c - '0') * scale;
                scale /= 10;
            }
        } else {
            return -1;
        }
    }
    return digits ? value * unit : -1;
}

void CheckByteCount(std::string_view text)
{
    if (text.size() > 64)
        return;
    const auto parsed = platform::ParseByteCount(text);
    const long double approximate = ApproximateByteCount(text);
    const std::string shown(text);
    if (approximate < 0) {
        FUZZ_CHECK(!parsed, shown);
        return;
    }
    const std::string_view number =
        std::isdigit(static_cast<unsigned char>(text.back())) ? text : text.substr(0, text.size() - 1);
    const auto dot = number.find('.');
    if (dot != std::string_view::npos && number.size() - dot - 1 > 18)
        return; // more fraction digits than the parser takes: refused or not, both are fine
    const long double limit = std::ldexp(1.0L, 64);
    if (approximate < limit * (1 - 1e-12L)) {
        FUZZ_CHECK(parsed, shown + " refused");
        const long double difference = std::fabs(static_cast<long double>(*parsed) - approximate);
        FUZZ_CHECK(difference <= 1 + approximate * 1e-12L, shown + " parsed as " + std::to_string(*parsed));
    } else if (approximate > limit * (1 + 1e-12L)) {
        FUZZ_CHECK(!parsed, shown + " above 2^64 parsed as " + std::to_string(*parsed));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text = fuzz::Text(data, size);
    const platform::VolumeMapResult result = platform::ParseVolumeMap(text, "/srv/maps/volumes.map");
    if (result.error.empty()) {
        std::set<wchar_t> letters;
        for (const platform::Volume& volume : result.volumes) {
            FUZZ_CHECK(volume.letter >= L'A' && volume.letter <= L'Z', "");
            FUZZ_CHECK(letters.insert(volume.letter).second, "a letter twice");
            FUZZ_CHECK(!volume.root.empty() && volume.root.front() == '/', volume.root);
        }
    } else {
        FUZZ_CHECK(result.volumes.empty(), result.error);
        FUZZ_CHECK(result.error.starts_with("/srv/maps/volumes.map:"), result.error);
        FUZZ_CHECK(result.error.find('\n') == std::string::npos, result.error);
        FUZZ_CHECK(platform::EscapedUtf8(result.error) == result.error, result.error);
    }
    // Each word of the input as a byte count too.
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of(" \t\n=", start);
        if (end == std::string_view::npos)
            end = text.size();
        CheckByteCount(text.substr(start, end - start));
        start = end + 1;
    }
    return 0;
}
