#include "platform/charset_converter.h"

#include <iconv.h>

namespace platform {
namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

} // namespace

CharsetConverter::CharsetConverter(const char* to, const char* from)
{
    const iconv_t converter = iconv_open(to, from);
    if (converter != kNoConverter)
        m_converter = converter;
}

CharsetConverter::~CharsetConverter()
{
    if (m_converter)
        iconv_close(static_cast<iconv_t>(m_converter));
}

std::optional<std::string> CharsetConverter::Convert(std::string_view text) const
{
    if (!m_converter)
        return std::nullopt;
    const auto converter = static_cast<iconv_t>(m_converter);
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    // Four bytes of output for each byte of input holds any conversion into UTF-8.
    std::string converted(text.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char* out = converted.data();
    std::size_t outLeft = converted.size();
    if (iconv(converter, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0)
        return std::nullopt;
    converted.resize(converted.size() - outLeft);
    return converted;
}

} // namespace platform
