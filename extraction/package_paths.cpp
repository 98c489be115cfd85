#include "extraction/package_paths.h"

#include "extraction/zip_names.h"
#include "platform/win32_strings.h"

#include <array>
#include <cwctype>

namespace extraction {
namespace {

constexpr std::size_t kLongestWindowsName = 255; // UTF-16 units

constexpr std::array<std::wstring_view, 22> kReservedNames = {L"CON", L"PRN", L"AUX", L"NUL", L"COM1", L"COM2", L"COM3",
    L"COM4", L"COM5", L"COM6", L"COM7", L"COM8", L"COM9", L"LPT1", L"LPT2", L"LPT3", L"LPT4", L"LPT5", L"LPT6", L"LPT7",
    L"LPT8", L"LPT9"};

std::wstring UpperCase(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
    return text;
}

std::string Quoted(std::string_view name) { return "\"" + PrintableName(name) + "\""; }

} // namespace

std::vector<std::string_view> PathComponents(std::string_view path)
{
    std::vector<std::string_view> components;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find_first_of("/\\", start);
        if (end == std::string_view::npos)
            end = path.size();
        if (end > start)
            components.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return components;
}

std::optional<std::string> WindowsNameReason(std::string_view component)
{
    for (const char c : component) {
        if (static_cast<unsigned char>(c) < 0x20)
            return "the name holds a control character";
        if (std::string_view("\"*:<>?|").find(c) != std::string_view::npos)
            return std::string("the name holds the character '") + c + "', which Windows does not allow";
    }
    if (!component.empty() && (component.back() == '.' || component.back() == ' '))
        return "the name ends in a dot or a space, which Windows drops";
    const std::wstring wide = platform::Widen(component);
    if (platform::Utf16Length(wide) > kLongestWindowsName)
        return "the name is longer than 255 UTF-16 units";
    std::wstring base = UpperCase(wide.substr(0, wide.find(L'.')));
    while (!base.empty() && base.back() == L' ')
        base.pop_back();
    for (const std::wstring_view reserved : kReservedNames) {
        if (base == reserved)
            return "the name is the Windows device name " + platform::Narrow(reserved);
    }
    return std::nullopt;
}

std::optional<std::string> PackagePathSet::Add(const std::vector<std::string_view>& components, bool isFolder)
{
    std::string path;
    std::wstring folded;
    for (std::size_t i = 0; i < components.size(); ++i) {
        if (i > 0) {
            path += '/';
            folded += L'/';
        }
        path += components[i];
        folded += UpperCase(platform::Widen(components[i]));
        const bool last = i + 1 == components.size();
        if (auto reason = AddOne(folded, path, !last || isFolder))
            return reason;
    }
    return std::nullopt;
}

std::optional<std::string> PackagePathSet::AddOne(const std::wstring& folded, std::string path, bool isFolder)
{
    const auto [at, inserted] = m_nodes.try_emplace(folded, Node{path, isFolder});
    if (inserted)
        return std::nullopt;
    const Node& earlier = at->second;
    if (earlier.path != path)
        return "the path " + Quoted(path) + " differs from " + Quoted(earlier.path) +
            " only in case, and Windows keeps one of them";
    if (earlier.isFolder && isFolder)
        return std::nullopt;
    if (!earlier.isFolder && !isFolder)
        return "the file " + Quoted(path) + " appears twice";
    return Quoted(path) + " is both a file and a folder";
}

} // namespace extraction
