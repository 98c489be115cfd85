// ZIP entry names as stored (CP936 without the UTF-8 flag, UTF-8 with or without it): the
// per-archive charset vote, the printable form of a name, and the names libarchive decodes
// when the archive is extracted, which land on the stick as the vote decided.
//
// Input: one byte of flags (bit 0: the UTF-8 flag on every entry; bit 1: the last entry is a
// folder), then up to eight names separated by NUL bytes.
#include "fuzz_support.h"

#include "extraction/package_extractor.h"
#include "extraction/package_paths.h"
#include "extraction/zip_names.h"
#include "hand_made_zip.h"
#include "platform/win32_files.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMostNames = 8;

// Well-formed UTF-8 decided by decoding each code point: shortest form, no surrogates, at
// most U+10FFFF.
bool ReferenceUtf8(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >> 5 == 6 ? 2 : lead >> 4 == 14 ? 3 : lead >> 3 == 30 ? 4 : 0;
        if (length == 0 || i + length > text.size())
            return false;
        std::uint32_t point = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if (next >> 6 != 2)
                return false;
            point = point << 6 | (next & 0x3F);
        }
        constexpr std::uint32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (point < kShortest[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

bool PrintableAsIs(std::string_view name)
{
    if (!ReferenceUtf8(name))
        return false;
    for (const char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F || c == '"' || c == '\\')
            return false;
    }
    return true;
}

const fs::path& Stick()
{
    static const fs::path stick = [] {
        const fs::path& root = fuzz::ScratchFolder();
        fs::create_directories(root / "stick");
        fuzz::WriteFile(root / "volumes.map", "E removable " + (root / "stick").string() + "\n");
        ::setenv("INSTALLER_VOLUME_MAP", (root / "volumes.map").c_str(), 1);
        return root / "stick";
    }();
    return stick;
}

// Bit 1 makes the last entry a folder; a name that ends in a slash is one anyway.
bool IsFolder(std::uint8_t flags, const std::vector<std::string>& names, std::size_t i)
{
    return ((flags & 2) != 0 && i + 1 == names.size()) || (!names[i].empty() && names[i].back() == '/');
}

// The path an entry is written at: its components, "." (the folder itself) left out.
std::string Joined(std::string_view name)
{
    std::string joined;
    for (const std::string_view component : extraction::PathComponents(name)) {
        if (component == ".")
            continue; // the folder itself
        if (!joined.empty())
            joined += '/';
        joined += component;
    }
    return joined;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t flags = data[0];
    std::vector<std::string> names;
    std::string_view rest = fuzz::Text(data + 1, size - 1);
    while (names.size() < kMostNames) {
        const std::size_t end = rest.find('\0');
        names.emplace_back(rest.substr(0, end));
        if (end == std::string_view::npos)
            break;
        rest.remove_prefix(end + 1);
    }

    extraction::ZipNameCharsetVote vote;
    for (const std::string& name : names) {
        FUZZ_CHECK(extraction::IsValidUtf8(name) == ReferenceUtf8(name), extraction::PrintableName(name));
        const std::string printable = extraction::PrintableName(name);
        FUZZ_CHECK(ReferenceUtf8(printable), printable);
        FUZZ_CHECK((printable == name) == PrintableAsIs(name), printable);
        vote.Add(name);
    }
    const bool allUtf8 = std::all_of(names.begin(), names.end(), ReferenceUtf8);
    FUZZ_CHECK((vote.Result() == extraction::ZipNameCharset::Utf8) == allUtf8, "");

    std::vector<HandMadeZipEntry> entries;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const bool folder = IsFolder(flags, names, i);
        const bool slashed = !names[i].empty() && names[i].back() == '/';
        entries.emplace_back(names[i] + (folder && !slashed ? "/" : ""), folder ? "" : "x", (flags & 1) != 0);
    }
    const fs::path& stick = Stick();
    const fs::path archive = fuzz::ScratchFolder() / "names.zip";
    fuzz::WriteFile(archive, HandMadeZipBytes(entries));
    const ExtractionResult result = ExtractZipArchive(platform::RootedPath(archive.string()), L"E:", {});
    if (result.Ok()) {
        const bool asStored = (flags & 1) != 0 || allUtf8;
        // A name that ends in a backslash ends in a separator once decoded, unless the byte is
        // the trail byte of a CP936 character: such an entry is a folder or a file.
        const bool eitherKind =
            std::any_of(names.begin(), names.end(), [](const std::string& name) { return name.ends_with('\\'); });
        for (const WrittenFile& written : result.writtenFiles)
            FUZZ_CHECK(ReferenceUtf8(written.path), extraction::PrintableName(written.path));
        std::size_t file = 0;
        for (std::size_t i = 0; i < names.size() && !eitherKind; ++i) {
            if (IsFolder(flags, names, i))
                continue;
            FUZZ_CHECK(file < result.writtenFiles.size(), "every file entry written");
            const std::string& written = result.writtenFiles[file++].path;
            if (asStored)
                FUZZ_CHECK(written == Joined(names[i]), extraction::PrintableName(written));
        }
    }
    for (const auto& item : fs::directory_iterator(stick))
        fs::remove_all(item.path());
    return 0;
}
