#include "app/package_key.h"

#include "platform/win32.h"

#include <memory>

std::string packageKey;

namespace {

std::string Trim(std::string text)
{
    constexpr const char* kBlanks = " \t\r\n";
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos)
        return std::string();
    const auto last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

std::string FirstLineOf(const std::wstring& file)
{
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(
        platform::OpenFile(platform::Narrow(file), "rb"), &std::fclose);
    if (!in)
        return std::string();
    std::string line;
    for (int c = std::fgetc(in.get()); c != EOF && c != '\n'; c = std::fgetc(in.get()))
        line += static_cast<char>(c);
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (line.starts_with(kByteOrderMark))
        line.erase(0, kByteOrderMark.size());
    return line;
}

} // namespace

std::string FindPackageKey(const std::optional<std::string>& fromCommandLine, const std::wstring& keyFile)
{
    if (fromCommandLine)
        return Trim(*fromCommandLine);
    return Trim(FirstLineOf(keyFile));
}
