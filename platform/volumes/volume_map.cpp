#include "platform/volumes/volume_map.h"
#include "platform/result.h"
#include "platform/win32_strings.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

namespace platform {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t kShownLineBytes = 120;

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

std::optional<VolumeType> ParseType(std::string_view word)
{
    struct Name {
        std::string_view word;
        VolumeType type;
    };
    static constexpr Name kNames[] = {
        {"removable", VolumeType::Removable},
        {"fixed", VolumeType::Fixed},
        {"remote", VolumeType::Remote},
        {"cdrom", VolumeType::CdRom},
        {"ramdisk", VolumeType::RamDisk},
        {"unknown", VolumeType::Unknown},
    };
    for (const Name& name : kNames)
        if (name.word == word)
            return name.type;
    return std::nullopt;
}

std::optional<wchar_t> ParseLetter(std::string_view word)
{
    if (word.size() == 2 && word[1] == ':')
        word.remove_suffix(1);
    if (word.size() != 1 || !std::isalpha(static_cast<unsigned char>(word[0])))
        return std::nullopt;
    return static_cast<wchar_t>(std::toupper(static_cast<unsigned char>(word[0])));
}

std::vector<std::string_view> SplitWords(std::string_view text)
{
    std::vector<std::string_view> words;
    while (true) {
        text = Trim(text);
        if (text.empty())
            return words;
        std::size_t end = 0;
        while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end])))
            ++end;
        words.push_back(text.substr(0, end));
        text.remove_prefix(end);
    }
}

// The folder (words[2] on, spaces between words kept) and the fields after it: free=, fs= and
// mounted, in any order, each at most once. A relative folder lies beneath `base`.
Result<void, std::string> ParseFolderAndFields(const std::vector<std::string_view>& words, std::string_view line,
    const std::filesystem::path& base, Volume& volume)
{
    std::size_t folderEnd = words.size();
    bool freeGiven = false;
    while (folderEnd > 2) {
        const std::string_view word = words[folderEnd - 1];
        bool given = false;
        std::string_view field = word;
        if (word.substr(0, 5) == "free=") {
            field = "free=";
            given = std::exchange(freeGiven, true);
            const auto bytes = ParseByteCount(word.substr(5));
            if (!bytes)
                return "\"" + std::string(word) + "\" is not a byte count (like free=4.5G or free=1048576)";
            volume.freeBytes = bytes;
        } else if (word.substr(0, 3) == "fs=") {
            field = "fs=";
            given = !volume.fileSystem.empty();
            if (word.size() == 3)
                return std::string("\"fs=\" names no file system (like fs=vfat or fs=exfat)");
            volume.fileSystem = std::string(word.substr(3));
        } else if (word == "mounted") {
            given = std::exchange(volume.onlyWhileMounted, true);
        } else {
            break;
        }
        if (given)
            return "\"" + std::string(field) + "\" is given twice in \"" + std::string(Trim(line)) + "\"";
        --folderEnd;
    }
    if (folderEnd <= 2)
        return std::string("the folder is missing");
    // The folder is everything between the type and free=, spaces included.
    const char* first = words[2].data();
    const char* last = words[folderEnd - 1].data() + words[folderEnd - 1].size();
    const std::filesystem::path folder(std::string(first, last));
    volume.root = (folder.is_absolute() ? folder : base / folder).lexically_normal().string();
    if (volume.root.size() > 1 && volume.root.back() == '/')
        volume.root.pop_back();
    return {};
}

} // namespace

std::optional<std::uint64_t> ParseByteCount(std::string_view text)
{
    unsigned shift = 0;
    if (!text.empty()) {
        switch (std::toupper(static_cast<unsigned char>(text.back()))) {
        case 'K':
            shift = 10;
            break;
        case 'M':
            shift = 20;
            break;
        case 'G':
            shift = 30;
            break;
        case 'T':
            shift = 40;
            break;
        default:
            break;
        }
        if (shift != 0)
            text.remove_suffix(1);
    }
    const auto dot = text.find('.');
    const std::string_view whole = text.substr(0, dot);
    const std::string_view fraction = dot == std::string_view::npos ? std::string_view{} : text.substr(dot + 1);
    const auto allDigits = [](std::string_view s) {
        for (const char c : s)
            if (!std::isdigit(static_cast<unsigned char>(c)))
                return false;
        return true;
    };
    if (whole.empty() || !allDigits(whole) || !allDigits(fraction) || fraction.size() > 18 ||
        (dot != std::string_view::npos && fraction.empty()))
        return std::nullopt;

    // value = (whole + fraction / 10^k) * 2^shift, rounded down, with exact integer arithmetic.
    unsigned __int128 scaled = 0;
    unsigned __int128 denominator = 1;
    for (const char c : whole) {
        scaled = scaled * 10 + static_cast<unsigned>(c - '0');
        if (scaled > (static_cast<unsigned __int128>(1) << 64))
            return std::nullopt;
    }
    for (const char c : fraction) {
        scaled = scaled * 10 + static_cast<unsigned>(c - '0');
        denominator *= 10;
    }
    // Whole and fraction apart: scaled itself shifted by up to 40 bits can pass 2^128 (a whole
    // of nine digits with eighteen fraction digits and "T"), and the wrapped value looked small.
    const unsigned __int128 bytes = ((scaled / denominator) << shift) + ((scaled % denominator) << shift) / denominator;
    if (bytes > UINT64_MAX)
        return std::nullopt;
    return static_cast<std::uint64_t>(bytes);
}

VolumeMapResult ParseVolumeMap(std::string_view text, const std::string& fileName)
{
    VolumeMapResult result;
    const std::filesystem::path base = std::filesystem::path(fileName).parent_path();
    if (text.starts_with(kByteOrderMark))
        text.remove_prefix(kByteOrderMark.size());
    std::istringstream in{std::string(text)};
    std::string line;
    int number = 0;
    const auto fail = [&](const std::string& what) {
        result.volumes.clear();
        result.error = EscapedUtf8(fileName) + ":" + std::to_string(number) + ": " + what;
        return result;
    };
    while (std::getline(in, line)) {
        ++number;
        if (EscapedUtf8(line) != line) {
            // A binary file's first "line" can be megabytes long: its start is enough.
            const bool cut = line.size() > kShownLineBytes;
            return fail("the line is not printable UTF-8 text: \"" +
                EscapedUtf8(std::string_view(line).substr(0, kShownLineBytes)) + (cut ? "\"..." : "\""));
        }
        std::string_view content = line;
        if (const auto hash = content.find('#'); hash != std::string_view::npos)
            content = content.substr(0, hash);
        auto words = SplitWords(content);
        if (words.empty())
            continue;
        if (words.size() < 3)
            return fail("expected \"LETTER TYPE FOLDER [free=N] [fs=NAME] [mounted]\", got \"" +
                std::string(Trim(line)) + "\"");

        Volume volume;
        const auto letter = ParseLetter(words[0]);
        if (!letter)
            return fail("\"" + std::string(words[0]) + "\" is not a drive letter (A to Z)");
        volume.letter = *letter;
        for (const Volume& earlier : result.volumes)
            if (earlier.letter == volume.letter)
                return fail("drive letter " + std::string(1, static_cast<char>(volume.letter)) + " appears twice");
        const auto type = ParseType(words[1]);
        if (!type)
            return fail("unknown drive type \"" + std::string(words[1]) +
                "\" (removable, fixed, remote, cdrom, ramdisk or unknown)");
        volume.type = *type;

        if (const Result<void, std::string> rest = ParseFolderAndFields(words, line, base, volume); !rest)
            return fail(rest.Failure());
        result.volumes.push_back(std::move(volume));
    }
    return result;
}

VolumeMapResult ReadVolumeMap(const std::string& fileName)
{
    VolumeMapResult result;
    std::error_code ec;
    const auto status = std::filesystem::status(fileName, ec);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        result.error = EscapedUtf8(fileName) + ": is not a regular file";
        return result;
    }
    std::ifstream in(fileName, std::ios::binary);
    if (!in) {
        result.error = EscapedUtf8(fileName) + ": cannot be read";
        return result;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return ParseVolumeMap(text.str(), fileName);
}

} // namespace platform
