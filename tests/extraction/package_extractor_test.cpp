// ExtractZipArchive on real archives (Info-ZIP, Python's zipfile, hand-made bytes), from the
// hard disk C: onto the stick E:, both folders behind a volume map.
#include "extraction/extract_progress.h"
#include "extraction/package_extractor.h"
#include "extraction/whole_percent.h"
#include "extraction/zip_names.h"

#include "hand_made_zip.h"
#include "lying_stick_mount.h"
#include "scratch_mount.h"
#include "temp_folder.h"
#include "zip_tools.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <ostream>
#include <random>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct ExtractionRun {
    bool ok = false;
    ExtractFailure failure = ExtractFailure::None;
    std::string error;
    std::vector<WrittenFile> written;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> reports; // (processed, total)
};

class ExtractionTest : public ::testing::Test {
protected:
    // C: is the hard disk holding the work folder, E: the stick. The volume table reads the
    // map named by the environment once per process, so one map serves every test.
    static const TempFolder& Volumes()
    {
        static const TempFolder volumes("extraction-volumes");
        static const bool mapped = [] {
            // F: is the stick's folder again, reported as FAT32.
            WriteFileBytes(volumes / "volumes.map",
                "C fixed " + (volumes / "disk").string() + "\n" + "E removable " + (volumes / "stick").string() + "\n" +
                    "F removable " + (volumes / "stick").string() + " fs=vfat\n");
            return ::setenv("INSTALLER_VOLUME_MAP", (volumes / "volumes.map").c_str(), 1) == 0;
        }();
        EXPECT_TRUE(mapped);
        return volumes;
    }

    void SetUp() override
    {
        for (const char* volume : {"disk", "stick", "outside"}) {
            fs::remove_all(Volumes() / volume);
            fs::create_directories(Volumes() / volume);
        }
        fs::create_directories(Disk() / "kelvo");
    }

    static fs::path Disk() { return Volumes() / "disk"; }
    static fs::path Stick() { return Volumes() / "stick"; }
    // A folder beside the stick: nothing may ever land here.
    static fs::path Outside() { return Volumes() / "outside"; }
    static fs::path Archive() { return Disk() / "kelvo" / "package.zip"; }
    static fs::path Source() { return Disk() / "source"; }

    static ExtractionRun Extract(const std::atomic<bool>* cancel = nullptr,
        const std::function<void(std::uint64_t)>& onReport = {}, const std::wstring& stick = L"E:")
    {
        ExtractionRun run;
        ExtractionResult result = ExtractZipArchive(
            L"C:\\kelvo\\package.zip", stick,
            [&](std::uint64_t processed, std::uint64_t total) {
                run.reports.emplace_back(processed, total);
                if (onReport)
                    onReport(processed);
            },
            cancel);
        run.ok = result.Ok();
        run.failure = result.failure;
        run.error = result.error;
        run.written = std::move(result.writtenFiles);
        return run;
    }

    static bool StickIsEmpty() { return fs::is_empty(Stick()); }
};

void ExpectOneLine(const std::string& error)
{
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
}

// ---- Folders, replacement, progress ------------------------------------------------------------

TEST_F(ExtractionTest, KeepsFoldersReplacesSameNamedFilesAndLeavesOthersAlone)
{
    WriteFileBytes(Source() / "kelvoClient" / "bin" / "app.txt", "new application");
    WriteFileBytes(Source() / "kelvoClient" / "data" / "nested" / "deep" / "leaf.txt", "leaf");
    WriteFileBytes(Source() / "kelvoClient" / "empty.dat", "");
    fs::create_directories(Source() / "kelvoClient" / "empty folder");
    WriteFileBytes(Source() / "readme.txt", std::string(300000, 'r'));
    ZipFolderWithInfoZip(Source(), Archive());

    WriteFileBytes(Stick() / "kelvoClient" / "bin" / "app.txt", "an older and much longer application file");
    WriteFileBytes(Stick() / "kelvoClient" / "user.cfg", "kept");
    WriteFileBytes(Stick() / "notes.txt", "kept too");

    const ExtractionRun run = Extract();

    ASSERT_TRUE(run.ok) << run.error;
    EXPECT_EQ(ReadFileBytes(Stick() / "kelvoClient" / "bin" / "app.txt"), "new application");
    EXPECT_EQ(ReadFileBytes(Stick() / "kelvoClient" / "data" / "nested" / "deep" / "leaf.txt"), "leaf");
    EXPECT_TRUE(fs::is_regular_file(Stick() / "kelvoClient" / "empty.dat"));
    EXPECT_EQ(fs::file_size(Stick() / "kelvoClient" / "empty.dat"), 0u);
    EXPECT_TRUE(fs::is_directory(Stick() / "kelvoClient" / "empty folder"));
    EXPECT_EQ(ReadFileBytes(Stick() / "readme.txt"), std::string(300000, 'r'));
    EXPECT_EQ(ReadFileBytes(Stick() / "kelvoClient" / "user.cfg"), "kept");
    EXPECT_EQ(ReadFileBytes(Stick() / "notes.txt"), "kept too");

    const std::uint64_t total = 15 + 4 + 300000;
    EXPECT_EQ(g_extractTotalBytes, total);
    ASSERT_FALSE(run.reports.empty());
    EXPECT_EQ(run.reports.front(), std::make_pair(std::uint64_t{0}, total));
    EXPECT_EQ(run.reports.back(), std::make_pair(total, total));
    for (std::size_t i = 1; i < run.reports.size(); ++i)
        EXPECT_LE(run.reports[i - 1].first, run.reports[i].first);
}

TEST_F(ExtractionTest, ArchiveOfEmptyEntriesOnlyCompletesWithTotalZero)
{
    WriteFileBytes(Source() / "kelvoClient" / "empty.txt", "");
    WriteFileBytes(Source() / "also empty.txt", "");
    fs::create_directories(Source() / "kelvoClient" / "nothing here");
    ZipFolderWithInfoZip(Source(), Archive());
    g_extractTotalBytes = 12345;

    const ExtractionRun run = Extract();

    ASSERT_TRUE(run.ok) << run.error;
    EXPECT_EQ(g_extractTotalBytes, 0u);
    ASSERT_EQ(run.reports.size(), 1u);
    const double percent = ExtractPercent(run.reports[0].first, run.reports[0].second);
    EXPECT_EQ(FormatExtractStatus(percent), L"正在写入文件100.00%");
    EXPECT_EQ(WholePercent(percent), 100);
    EXPECT_TRUE(fs::is_regular_file(Stick() / "kelvoClient" / "empty.txt"));
    EXPECT_TRUE(fs::is_directory(Stick() / "kelvoClient" / "nothing here"));
}

TEST_F(ExtractionTest, ExtractsZip64ArchivesOfBothTools)
{
    // Info-ZIP with ZIP64 forced, over a compressible and an incompressible file.
    std::string incompressible(3 << 20, '\0');
    std::uint32_t state = 12345;
    for (char& c : incompressible) {
        state = state * 1664525u + 1013904223u;
        c = static_cast<char>(state >> 24);
    }
    WriteFileBytes(Source() / "kelvoClient" / "random.bin", incompressible);
    WriteFileBytes(Source() / "kelvoClient" / "text.txt", std::string(2 << 20, 't'));
    ZipFolderWithInfoZip(Source(), Archive(), "-fz");
    ASSERT_NE(ReadFileBytes(Archive()).find("PK\x06\x06"), std::string::npos) << "no ZIP64 record written";

    ExtractionRun run = Extract();
    ASSERT_TRUE(run.ok) << run.error;
    EXPECT_EQ(ReadFileBytes(Stick() / "kelvoClient" / "random.bin"), incompressible);
    EXPECT_EQ(ReadFileBytes(Stick() / "kelvoClient" / "text.txt"), std::string(2 << 20, 't'));
    EXPECT_EQ(g_extractTotalBytes, (3u << 20) + (2u << 20));

    // Python's zipfile with ZIP64 extra fields, stored and deflated.
    fs::remove(Archive());
    BuildZipWithPython(Archive(), R"([
        {"name": "kelvoClient/", "zip64": true},
        {"name": "kelvoClient/stored.txt", "text": "stored ", "repeat": 1000, "compress": "store", "zip64": true},
        {"name": "kelvoClient/deflated.txt", "text": "deflated ", "repeat": 1000, "zip64": true}
    ])");
    run = Extract();
    ASSERT_TRUE(run.ok) << run.error;
    std::string stored;
    std::string deflated;
    for (int i = 0; i < 1000; ++i) {
        stored += "stored ";
        deflated += "deflated ";
    }
    EXPECT_EQ(ReadFileBytes(Stick() / "kelvoClient" / "stored.txt"), stored);
    EXPECT_EQ(ReadFileBytes(Stick() / "kelvoClient" / "deflated.txt"), deflated);
}

// ---- Entry names -------------------------------------------------------------------------------

// GBK bytes of 课件/第一课.txt, 说明.txt and 课件/奬/说明.txt (奬 ends in 0x5C, a backslash).
const std::string kCp936Lesson = "\xBF\xCE\xBC\xFE\x2F\xB5\xDA\xD2\xBB\xBF\xCE\x2E\x74\x78\x74";
const std::string kCp936Readme = "\xCB\xB5\xC3\xF7\x2E\x74\x78\x74";
const std::string kCp936BackslashTrail = "\xBF\xCE\xBC\xFE\x2F\x8A\x5C\x2F\xCB\xB5\xC3\xF7\x2E\x74\x78\x74";

TEST_F(ExtractionTest, DecodesCp936NamesWithoutTheUtf8Flag)
{
    WriteHandMadeZip(Archive(), {{kCp936Lesson, "lesson"}, {kCp936Readme, "readme"}, {kCp936BackslashTrail, "odd"}});

    const ExtractionRun run = Extract();

    ASSERT_TRUE(run.ok) << run.error;
    EXPECT_EQ(ReadFileBytes(Stick() / "课件" / "第一课.txt"), "lesson");
    EXPECT_EQ(ReadFileBytes(Stick() / "说明.txt"), "readme");
    EXPECT_EQ(ReadFileBytes(Stick() / "课件" / "奬" / "说明.txt"), "odd");
}

TEST_F(ExtractionTest, FlaggedUtf8NamesStayUtf8BesideCp936Names)
{
    WriteHandMadeZip(Archive(), {{"说明.txt", "flagged", true}, {kCp936Lesson, "cp936"}});

    const ExtractionRun run = Extract();

    ASSERT_TRUE(run.ok) << run.error;
    EXPECT_EQ(ReadFileBytes(Stick() / "说明.txt"), "flagged");
    EXPECT_EQ(ReadFileBytes(Stick() / "课件" / "第一课.txt"), "cp936");
}

TEST_F(ExtractionTest, KeepsUtf8NamesOfInfoZipAndPythonArchives)
{
    WriteFileBytes(Source() / "课件" / "第一课.txt", "info-zip");
    ZipFolderWithInfoZip(Source(), Archive());
    ExtractionRun run = Extract();
    ASSERT_TRUE(run.ok) << run.error;
    EXPECT_EQ(ReadFileBytes(Stick() / "课件" / "第一课.txt"), "info-zip");

    fs::remove(Archive());
    BuildZipWithPython(Archive(), R"([{"name": "课件/说明.txt", "text": "zipfile"}])");
    run = Extract();
    ASSERT_TRUE(run.ok) << run.error;
    EXPECT_EQ(ReadFileBytes(Stick() / "课件" / "说明.txt"), "zipfile");
}

// ---- Unsafe entries ----------------------------------------------------------------------------

struct HostileCase {
    const char* label;
    HandMadeZipEntry entry;
    const char* reason; // part of the expected message
};

void PrintTo(const HostileCase& c, std::ostream* out) { *out << c.label; }

class HostileEntryTest : public ExtractionTest, public ::testing::WithParamInterface<HostileCase> {};

// A harmless entry comes first: a refusal found in the survey leaves the stick untouched.
TEST_P(HostileEntryTest, IsRefusedBeforeAnythingIsWritten)
{
    HandMadeZipEntry entry = GetParam().entry;
    if (entry.rawName == "ABSOLUTE")
        entry.rawName = (Outside() / "evil.txt").string();
    WriteHandMadeZip(Archive(), {{"kelvoClient/fine.txt", "fine"}, entry});

    const ExtractionRun run = Extract();

    EXPECT_FALSE(run.ok);
    ExpectOneLine(run.error);
    EXPECT_EQ(run.failure, ExtractFailure::ArchiveContent);
    EXPECT_NE(run.error.find("\"" + extraction::PrintableName(entry.rawName) + "\""), std::string::npos) << run.error;
    EXPECT_NE(run.error.find(GetParam().reason), std::string::npos) << run.error;
    EXPECT_TRUE(StickIsEmpty());
    EXPECT_TRUE(fs::is_empty(Outside()));
    EXPECT_FALSE(fs::exists(Volumes() / "evil.txt"));
}

std::string Repeated(const std::string& text, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

INSTANTIATE_TEST_SUITE_P(Entries, HostileEntryTest,
    ::testing::Values(HostileCase{"DotDot", {"../evil.txt", "x"}, "out of the destination"},
        HostileCase{"DotDotInside", {"kelvoClient/../../evil.txt", "x"}, "out of the destination"},
        HostileCase{"Absolute", {"ABSOLUTE", "x"}, "absolute"},
        HostileCase{"DriveLetter", {"C:/evil.txt", "x"}, "drive letter"},
        HostileCase{"SymbolicLink", {"kelvoClient/link", "/etc", false, 0120777}, "symbolic link"},
        HostileCase{"CharacterDevice", {"kelvoClient/tty", "", false, 0020666}, "device"},
        HostileCase{"BlockDevice", {"kelvoClient/disk", "", false, 0060660}, "device"},
        HostileCase{"Socket", {"kelvoClient/socket", "", false, 0140755}, "socket"},
        // What Windows cannot hold, whatever the stick's file system.
        HostileCase{"ControlCharacter", {"kelvoClient/a\tb.txt", "x", true}, "control character"},
        HostileCase{"Colon", {"kelvoClient/第1课:导入.txt", "x", true}, "':'"},
        HostileCase{"QuestionMark", {"kelvoClient/why?.txt", "x", true}, "'?'"},
        HostileCase{"Pipe", {"kelvoClient/a|b/c.txt", "x", true}, "'|'"},
        HostileCase{"TrailingDot", {"kelvoClient/notes./a.txt", "x", true}, "ends in a dot or a space"},
        HostileCase{"TrailingSpace", {"kelvoClient/notes ", "x", true}, "ends in a dot or a space"},
        HostileCase{"DeviceName", {"kelvoClient/CON", "x", true}, "device name CON"},
        HostileCase{"DeviceNameWithExtension", {"kelvoClient/com1.tar.gz", "x", true}, "device name COM1"},
        HostileCase{"DeviceNameAsFolder", {"kelvoClient/Lpt9 .txt/a.txt", "x", true}, "device name LPT9"},
        HostileCase{"Over255Utf16Units", {"kelvoClient/" + Repeated("\xF0\x9F\x93\x9A", 128), "x", true},
            "255 UTF-16 units"}, // U+1F4DA takes two units
        // Paths a case-blind file system cannot keep apart (beside kelvoClient/fine.txt).
        HostileCase{"EqualIgnoringCase", {"kelvoClient/FINE.txt", "x", true}, "only in case"},
        HostileCase{"FolderEqualIgnoringCase", {"KelvoClient/other.txt", "x", true}, "only in case"},
        HostileCase{"FileThenFolder", {"kelvoClient/fine.txt/in.txt", "x", true}, "both a file and a folder"},
        HostileCase{"FolderThenFile", {"kelvoClient", "x", true}, "both a file and a folder"},
        HostileCase{"FileTwice", {"kelvoClient/fine.txt", "again", true}, "appears twice"}),
    [](const ::testing::TestParamInfo<HostileCase>& instance) { return std::string(instance.param.label); });

TEST_F(ExtractionTest, RefusesSymbolicLinkWrittenByZipfile)
{
    BuildZipWithPython(Archive(), R"([
        {"name": "kelvoClient/ok.txt", "text": "ok"},
        {"name": "kelvoClient/escape", "text": "../../outside", "mode": 41471}
    ])"); // 41471 = 0o120777

    const ExtractionRun run = Extract();

    EXPECT_FALSE(run.ok);
    EXPECT_NE(run.error.find("\"kelvoClient/escape\""), std::string::npos) << run.error;
    EXPECT_TRUE(StickIsEmpty());
}

// libarchive reads a FIFO mode as a regular file (Info-ZIP stores piped input so): the bytes
// land in a plain file and no FIFO is ever made.
TEST_F(ExtractionTest, FifoEntryBecomesPlainFile)
{
    WriteHandMadeZip(Archive(), {{"kelvoClient/pipe", "piped bytes", false, 0010644}});

    const ExtractionRun run = Extract();

    ASSERT_TRUE(run.ok) << run.error;
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(Stick() / "kelvoClient" / "pipe")));
    EXPECT_EQ(ReadFileBytes(Stick() / "kelvoClient" / "pipe"), "piped bytes");
}

// A backslash separates names only once they are decoded; made on Unix, libarchive keeps it.
TEST_F(ExtractionTest, RefusesBackslashTraversalBeforeWriting)
{
    WriteHandMadeZip(
        Archive(), {{"kelvoClient/fine.txt", "fine", false, 0100644}, {"..\\evil.txt", "x", false, 0100644}});

    const ExtractionRun run = Extract();

    EXPECT_FALSE(run.ok);
    EXPECT_NE(run.error.find("out of the destination"), std::string::npos) << run.error;
    EXPECT_TRUE(StickIsEmpty());
    EXPECT_TRUE(fs::is_empty(Outside()));
}

TEST_F(ExtractionTest, NameThatCannotBeDecodedFailsBeforeWritingShowingItsBytes)
{
    // Neither UTF-8 nor CP936 without the flag; with the UTF-8 flag, not UTF-8.
    for (const bool utf8Flag : {false, true}) {
        WriteHandMadeZip(
            Archive(), {{"kelvoClient/fine.txt", "fine"}, {"\xFF\xFE.txt", "x", utf8Flag}, {kCp936Readme, "y"}});

        const ExtractionRun run = Extract();

        EXPECT_EQ(run.failure, ExtractFailure::ArchiveContent) << run.error;
        ExpectOneLine(run.error);
        EXPECT_NE(run.error.find("\"\\xFF\\xFE.txt\""), std::string::npos) << run.error;
        EXPECT_TRUE(StickIsEmpty());
    }
}

// Archives that would install something other than what they list, or nothing at all, are
// refused before anything is written.
TEST_F(ExtractionTest, RefusesArchivesWhoseHeadersDisagreeOrThatHoldNoFile)
{
    const auto localName = [](std::string bytes, const std::string& from, const std::string& to) {
        bytes.replace(bytes.find(from), from.size(), to); // the first one is the local header's
        return bytes;
    };
    const std::string good = HandMadeZipBytes({{"kelvoClient/a.txt", "alpha"}, {"kelvoClient/b.txt", "beta"}});
    std::string crc = good;
    crc[14] = static_cast<char>(crc[14] ^ 1); // the first local header's CRC
    const struct {
        const char* what;
        std::string bytes;
        ExtractFailure failure;
    } cases[] = {
        {"a local name that differs", localName(good, "kelvoClient/b.txt", "kelvoClient/X.txt"),
            ExtractFailure::ArchiveUnreadable},
        {"a local CRC that differs", crc, ExtractFailure::ArchiveUnreadable},
        {"only folders", HandMadeZipBytes({{"kelvoClient/", ""}}), ExtractFailure::ArchiveContent},
    };
    for (const auto& c : cases) {
        WriteFileBytes(Archive(), c.bytes);
        const ExtractionRun run = Extract();
        EXPECT_EQ(run.failure, c.failure) << c.what << ": " << run.error;
        EXPECT_TRUE(StickIsEmpty()) << c.what;
    }
}

// ---- The plan: what the central directory lists is what is written ----------------------------

// Offsets of each local header ("PK\3\4") and each central record ("PK\1\2") in hand-made bytes.
std::vector<std::size_t> Signatures(const std::string& bytes, const char* signature)
{
    std::vector<std::size_t> at;
    for (std::size_t i = bytes.find(signature); i != std::string::npos; i = bytes.find(signature, i + 4))
        at.push_back(i);
    return at;
}

void Put32At(std::string& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// Forty records, each with its own name, all on the first local header.
std::string FortyRecordsOnOneHeader()
{
    std::vector<HandMadeZipEntry> entries;
    for (int i = 0; i < 40; ++i)
        entries.push_back({"kelvoClient/page" + std::to_string(10 + i) + ".txt", "page"});
    std::string bytes = HandMadeZipBytes(entries);
    for (const std::size_t record : Signatures(bytes, "PK\x01\x02"))
        Put32At(bytes, record + 42, 0);
    return bytes;
}

// Two plain files, then one whose data is a Deflate64 stream of one stored block.
std::string Deflate64AfterTwoFiles()
{
    const std::string content = "a lesson packed by a tool that chose Deflate64";
    std::string stream = "\x01";
    stream += static_cast<char>(content.size());
    stream += '\0';
    stream += static_cast<char>(~content.size() & 0xFF);
    stream += '\xFF';
    stream += content;
    std::string bytes =
        HandMadeZipBytes({{"kelvoClient/a.txt", "a"}, {"kelvoClient/b.txt", "b"}, {"kelvoClient/large.bin", stream}});
    const std::size_t local = Signatures(bytes, "PK\x03\x04")[2];
    const std::size_t record = Signatures(bytes, "PK\x01\x02")[2];
    bytes[local + 8] = bytes[record + 10] = 9;
    Put32At(bytes, local + 14, Crc32(content));
    Put32At(bytes, record + 16, Crc32(content));
    Put32At(bytes, local + 22, static_cast<std::uint32_t>(content.size()));
    Put32At(bytes, record + 24, static_cast<std::uint32_t>(content.size()));
    return bytes;
}

// Each archive is refused before anything is written, or installs whole.
TEST_F(ExtractionTest, ThePlanDecidesBeforeAnythingIsWritten)
{
    const std::string plain =
        HandMadeZipBytes({{"kelvoClient/a.txt", "alpha"}, {"./kelvoClient/./b.txt", "beta"}, {"./", ""}});
    std::string longComment = plain;
    longComment[longComment.size() - 2] = longComment[longComment.size() - 1] = '\xFF';
    longComment += std::string(0xFFFF, 'c');
    const struct {
        const char* what;
        std::string bytes;
        ExtractFailure failure;
        const char* message;
    } cases[] = {
        {"forty records on one local header", FortyRecordsOnOneHeader(), ExtractFailure::ArchiveUnreadable,
            "share one local header"},
        {"a Deflate64 entry after two files", Deflate64AfterTwoFiles(), ExtractFailure::ArchiveContent,
            "\"kelvoClient/large.bin\" refused: compression method 9 (Deflate64)"},
        {"a file named after its folder", HandMadeZipBytes({{"kelvoClient/a.txt", "alpha"}, {"kelvoClient/.", "x"}}),
            ExtractFailure::ArchiveContent, "is the folder it lies in"},
        {"1 KiB of text after the end record", plain + std::string(1024, 't'), ExtractFailure::None, ""},
        {"a comment of 65 535 bytes", longComment, ExtractFailure::None, ""},
    };
    for (const auto& c : cases) {
        fs::remove_all(Stick());
        fs::create_directories(Stick());
        WriteFileBytes(Archive(), c.bytes);
        const ExtractionRun run = Extract();
        EXPECT_EQ(run.failure, c.failure) << c.what << ": " << run.error;
        EXPECT_NE(run.error.find(c.message), std::string::npos) << c.what << ": " << run.error;
        if (c.failure != ExtractFailure::None) {
            EXPECT_TRUE(StickIsEmpty()) << c.what;
            continue;
        }
        EXPECT_EQ(ReadFileBytes(Stick() / "kelvoClient" / "a.txt"), "alpha") << c.what;
        EXPECT_EQ(ReadFileBytes(Stick() / "kelvoClient" / "b.txt"), "beta") << c.what;
    }
}

// bsdtar zipping "." names every entry "./...": the package lands as unzip puts it.
TEST_F(ExtractionTest, ArchiveZippedFromInsideItsFolderInstallsAsUnzipDoes)
{
    WriteFileBytes(Source() / "kelvoClient" / "bin" / "app.txt", "application");
    WriteFileBytes(Source() / "kelvoClient" / "课件" / "第一课.txt", std::string(100000, 'k'));
    fs::create_directories(Source() / "kelvoClient" / "empty");
    WriteFileBytes(Source() / "readme.txt", "readme");
    ASSERT_EQ(RunShell("cd " + ShellQuoted(Source().string()) + " && bsdtar --format zip -cf " +
                  ShellQuoted(Archive().string()) + " ."),
        0);
    const fs::path unzipped = Disk() / "unzipped";
    ASSERT_EQ(RunShell("unzip -q " + ShellQuoted(Archive().string()) + " -d " + ShellQuoted(unzipped.string())), 0);

    const ExtractionRun run = Extract();

    ASSERT_TRUE(run.ok) << run.error;
    const auto tree = [](const fs::path& root) {
        std::vector<std::pair<std::string, std::string>> items;
        for (const auto& item : fs::recursive_directory_iterator(root))
            items.emplace_back(fs::relative(item.path(), root).string(),
                item.is_directory() ? std::string("/") : ReadFileBytes(item.path()));
        std::sort(items.begin(), items.end());
        return items;
    };
    EXPECT_EQ(tree(Stick()), tree(unzipped));
    EXPECT_EQ(tree(Stick()).size(), 7u);
}

// An entry whose data inflates far past its declared size is stopped at that size: the stick
// never fills, nothing of the entry stays, and the archive is reported damaged.
TEST_F(ExtractionTest, EntryInflatingPastItsDeclaredSizeStopsAtIt)
{
    BuildZipWithPython(Archive(), R"([
        {"name": "kelvoClient/bomb.txt", "text": "x", "repeat": 67108864, "declared_size": 1000}
    ])");
    const ScratchMount stick(ScratchMount::Kind::Tmpfs, Stick(), 16u << 20);
    if (!stick.SkipReason().empty())
        GTEST_SKIP() << stick.SkipReason();
    WriteFileBytes(Stick() / "teacher.txt", "mine");

    const ExtractionRun run = Extract();

    EXPECT_EQ(run.failure, ExtractFailure::ArchiveUnreadable) << run.error;
    EXPECT_NE(run.error.find("past its size of 1000 bytes"), std::string::npos) << run.error;
    EXPECT_EQ(ReadFileBytes(Stick() / "teacher.txt"), "mine");
    EXPECT_FALSE(fs::exists(Stick() / "kelvoClient" / "bomb.txt"));
}

// A link already on the drive never leads the extraction out of it.
TEST_F(ExtractionTest, NeverWritesThroughSymbolicLinkOnTheDrive)
{
    fs::create_directory_symlink(Outside(), Stick() / "kelvoClient");
    WriteHandMadeZip(Archive(), {{"kelvoClient/a.txt", "a"}});

    const ExtractionRun run = Extract();

    EXPECT_FALSE(run.ok);
    ExpectOneLine(run.error);
    EXPECT_NE(run.error.find("\"kelvoClient/a.txt\""), std::string::npos) << run.error;
    EXPECT_TRUE(fs::is_empty(Outside()));
}

TEST_F(ExtractionTest, NeverRestoresSetIdBits)
{
    BuildZipWithPython(Archive(), R"([
        {"name": "kelvoClient/shared/", "mode": 18429},
        {"name": "kelvoClient/tool.sh", "text": "#!/bin/sh\n", "mode": 35309}
    ])"); // 0o43775 (set-group-id, sticky), 0o104755 (set-user-id)

    const ExtractionRun run = Extract();

    ASSERT_TRUE(run.ok) << run.error;
    const fs::perms tool = fs::status(Stick() / "kelvoClient" / "tool.sh").permissions();
    const fs::perms shared = fs::status(Stick() / "kelvoClient" / "shared").permissions();
    EXPECT_EQ(tool & fs::perms::set_uid, fs::perms::none);
    EXPECT_NE(tool & fs::perms::owner_exec, fs::perms::none);
    EXPECT_EQ(shared & (fs::perms::set_gid | fs::perms::sticky_bit), fs::perms::none);
}

// ---- Archives that cannot be read --------------------------------------------------------------

struct UnreadableCase {
    const char* label;
    std::string (*bytes)(const std::string& validArchive);
};

void PrintTo(const UnreadableCase& c, std::ostream* out) { *out << c.label; }

class UnreadableArchiveTest : public ExtractionTest, public ::testing::WithParamInterface<UnreadableCase> {};

TEST_P(UnreadableArchiveTest, FailsWithoutWritingAnything)
{
    WriteFileBytes(Source() / "kelvoClient" / "a.txt", std::string(100000, 'a'));
    WriteFileBytes(Source() / "kelvoClient" / "b.txt", "b");
    ZipFolderWithInfoZip(Source(), Archive());
    WriteFileBytes(Archive(), GetParam().bytes(ReadFileBytes(Archive())));

    const ExtractionRun run = Extract();

    EXPECT_EQ(run.failure, ExtractFailure::ArchiveUnreadable);
    ExpectOneLine(run.error);
    EXPECT_NE(run.error.find("package.zip"), std::string::npos) << run.error;
    EXPECT_TRUE(StickIsEmpty());
    EXPECT_TRUE(run.reports.empty());
}

INSTANTIATE_TEST_SUITE_P(Archives, UnreadableArchiveTest,
    ::testing::Values(UnreadableCase{"Truncated", [](const std::string& zip) { return zip.substr(0, zip.size() / 2); }},
        UnreadableCase{"HtmlPage",
            [](const std::string&) {
                return std::string("<!DOCTYPE html>\n<html><head><title>404 Not Found</title></head>"
                                   "<body><h1>Not Found</h1></body></html>\n");
            }},
        UnreadableCase{"EmptyFile", [](const std::string&) { return std::string(); }}),
    [](const ::testing::TestParamInfo<UnreadableCase>& instance) { return std::string(instance.param.label); });

TEST_F(ExtractionTest, MissingArchiveFails)
{
    const ExtractionRun run = Extract();

    EXPECT_FALSE(run.ok);
    ExpectOneLine(run.error);
    EXPECT_TRUE(StickIsEmpty());
}

TEST_F(ExtractionTest, DamagedEntryDataFailsNamingTheEntry)
{
    WriteHandMadeZip(Archive(), {{"kelvoClient/good.txt", "good"}, {"kelvoClient/bad.txt", "bad data"}}, 1);

    const ExtractionRun run = Extract();

    EXPECT_EQ(run.failure, ExtractFailure::ArchiveUnreadable);
    ExpectOneLine(run.error);
    EXPECT_NE(run.error.find("\"kelvoClient/bad.txt\""), std::string::npos) << run.error;
    // The file that failed goes, the one finished before stays, and is the only one recorded.
    EXPECT_FALSE(fs::exists(Stick() / "kelvoClient" / "bad.txt"));
    EXPECT_EQ(ReadFileBytes(Stick() / "kelvoClient" / "good.txt"), "good");
    ASSERT_EQ(run.written.size(), 1u);
    EXPECT_EQ(run.written[0].path, "kelvoClient/good.txt");
    EXPECT_EQ(run.written[0].size, 4u);
    EXPECT_EQ(run.written[0].crc32, Crc32("good"));
}

TEST_F(ExtractionTest, EncryptedEntryIsRefusedBeforeWriting)
{
    WriteFileBytes(Source() / "kelvoClient" / "secret.txt", "secret");
    ZipFolderWithInfoZip(Source(), Archive(), "-P password");

    const ExtractionRun run = Extract();

    EXPECT_EQ(run.failure, ExtractFailure::ArchiveContent);
    EXPECT_NE(run.error.find("encrypted"), std::string::npos) << run.error;
    EXPECT_TRUE(StickIsEmpty());
}

TEST_F(ExtractionTest, DestinationThatIsNoFolderOrNoVolumeFails)
{
    WriteHandMadeZip(Archive(), {{"a.txt", "a"}});
    WriteFileBytes(Stick() / "file", "in the way");

    ExtractionResult result = ExtractZipArchive(L"C:\\kelvo\\package.zip", L"E:\\file", {});
    EXPECT_EQ(result.failure, ExtractFailure::StickWrite);
    ExpectOneLine(result.error);
    result = ExtractZipArchive(L"C:\\kelvo\\package.zip", L"Q:", {});
    EXPECT_EQ(result.failure, ExtractFailure::StickPulled);
    ExpectOneLine(result.error);
    EXPECT_NE(result.error.find("Q:"), std::string::npos) << result.error;
}

// ---- Cancelling --------------------------------------------------------------------------------

TEST_F(ExtractionTest, CancelStopsBetweenBlocks)
{
    BuildZipWithPython(Archive(), R"([
        {"name": "kelvoClient/big.bin", "random_bytes": 8388608, "seed": 7},
        {"name": "kelvoClient/after.txt", "text": "never written"}
    ])");
    std::atomic<bool> cancel{false};

    int reports = 0;
    const ExtractionRun run = Extract(&cancel, [&](std::uint64_t) {
        if (++reports == 2)
            cancel = true;
    });

    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.error, "extraction cancelled");
    ASSERT_EQ(run.reports.size(), 2u); // the start, then the first block
    EXPECT_LT(run.reports.back().first, run.reports.back().second);
    EXPECT_FALSE(fs::exists(Stick() / "kelvoClient" / "big.bin")); // half a file does not stay
    EXPECT_FALSE(fs::exists(Stick() / "kelvoClient" / "after.txt"));

    // Cancelled before it starts: nothing is written, not even the destination's folders.
    fs::remove_all(Stick() / "kelvoClient");
    const ExtractionRun early = Extract(&cancel);
    EXPECT_FALSE(early.ok);
    EXPECT_EQ(early.error, "extraction cancelled");
    EXPECT_TRUE(early.reports.empty());
    EXPECT_TRUE(StickIsEmpty());
}

TEST_F(ExtractionTest, RootedNativePathsWorkLikeLetterPaths)
{
    WriteHandMadeZip(Archive(), {{"kelvoClient/a.txt", "a"}});
    std::wstring archive;
    std::wstring destination;
    for (const char c : Archive().string())
        archive += c == '/' ? L'\\' : static_cast<wchar_t>(c);
    for (const char c : (Outside() / "rooted").string())
        destination += c == '/' ? L'\\' : static_cast<wchar_t>(c);

    fs::create_directories(Outside() / "rooted"); // a destination is never made
    const ExtractionResult result = ExtractZipArchive(archive, destination, {});
    ASSERT_TRUE(result.Ok()) << result.error;
    EXPECT_EQ(ReadFileBytes(Outside() / "rooted" / "kelvoClient" / "a.txt"), "a");
}

// ---- Sticks that refuse, fill up or go away -------------------------------------------------

// A file of 4 GiB cannot be kept on FAT32 and is refused up front with its own failure; on
// another file system an entry whose data falls short of its declared size is a damaged
// archive, and the short file does not stay behind.
TEST_F(ExtractionTest, DeclaredFourGibFileIsRefusedOnFat32AndFailsShortElsewhere)
{
    BuildZipWithPython(Archive(), R"([
        {"name": "kelvoClient/ok.txt", "text": "ok"},
        {"name": "kelvoClient/big.bin", "text": "x", "repeat": 1000, "declared_size": 4294967296}
    ])");

    const ExtractionRun fat32 = Extract(nullptr, nullptr, L"F:");
    EXPECT_EQ(fat32.failure, ExtractFailure::TooLargeForFat32);
    EXPECT_NE(fat32.error.find("\"kelvoClient/big.bin\""), std::string::npos) << fat32.error;
    EXPECT_TRUE(StickIsEmpty());

    const ExtractionRun other = Extract();
    EXPECT_EQ(other.failure, ExtractFailure::ArchiveUnreadable) << other.error;
    EXPECT_EQ(ReadFileBytes(Stick() / "kelvoClient" / "ok.txt"), "ok");
    EXPECT_FALSE(fs::exists(Stick() / "kelvoClient" / "big.bin"));
}

// A stick too small for the package is refused before anything is written; a stick that refuses
// writes carries the system's reason.
TEST_F(ExtractionTest, StickThatFillsUpOrIsReadOnlyIsTheSticksFault)
{
    BuildZipWithPython(Archive(), R"([
        {"name": "kelvoClient/first.txt", "text": "first"},
        {"name": "kelvoClient/big.bin", "random_bytes": 16777216, "seed": 3}
    ])");
    {
        const ScratchMount full(ScratchMount::Kind::ExfatImage, Stick(), 8u << 20);
        if (!full.SkipReason().empty())
            GTEST_SKIP() << full.SkipReason();
        // Too small for the package: refused before anything is written, the teacher's own file kept.
        WriteFileBytes(Stick() / "teacher.txt", "mine");
        const ExtractionRun run = Extract();
        EXPECT_EQ(run.failure, ExtractFailure::StickFull);
        EXPECT_NE(run.error.find("the package needs"), std::string::npos) << run.error;
        EXPECT_EQ(ReadFileBytes(Stick() / "teacher.txt"), "mine");
        EXPECT_FALSE(fs::exists(Stick() / "kelvoClient"));
    }
    {
        const ScratchMount readOnly(ScratchMount::Kind::Tmpfs, Stick(), 64u << 20);
        ASSERT_EQ(RunShell("mount -o remount,ro " + ShellQuoted(Stick().string())), 0);
        const ExtractionRun run = Extract();
        EXPECT_EQ(run.failure, ExtractFailure::StickWrite);
        EXPECT_NE(run.error.find("Read-only file system"), std::string::npos) << run.error;
        EXPECT_TRUE(StickIsEmpty());
    }
}

// A desktop unmounts a pulled stick lazily and leaves its mount point folder, on the system
// disk: nothing is ever written there, and the extraction says the stick went away.
TEST_F(ExtractionTest, StickUnmountedDuringManySmallEntriesIsPulledAndNothingLandsInItsFolder)
{
    std::string entries = "[";
    for (int i = 0; i < 20000; ++i)
        entries += std::string(i ? "," : "") + R"({"name": "kelvoClient/p)" + std::to_string(i / 200) + "/f" +
            std::to_string(i) + R"(.txt", "text": "page"})";
    BuildZipWithPython(Archive(), entries + "]");
    ScratchMount stick(ScratchMount::Kind::ExfatImage, Stick(), 1u << 30);
    if (!stick.SkipReason().empty())
        GTEST_SKIP() << stick.SkipReason();

    int reports = 0; // the start, then one per file
    const ExtractionRun run = Extract(nullptr, [&](std::uint64_t) {
        if (++reports == 301)
            stick.Pull();
    });

    EXPECT_EQ(run.failure, ExtractFailure::StickPulled) << run.error;
    ExpectOneLine(run.error);
    EXPECT_GE(run.written.size(), 300u);
    EXPECT_LT(run.written.size(), 20000u);
    EXPECT_TRUE(StickIsEmpty());
    EXPECT_TRUE(fs::is_empty(Outside()));
}

// ---- A slow stick ------------------------------------------------------------------------------

// How many bytes of `blocks` (4 KiB blocks of the data written) the image holds at 4 KiB steps.
std::uint64_t BytesHeld(const fs::path& image, const std::unordered_set<std::string_view>& blocks)
{
    const std::string bytes = ReadFileBytes(image);
    std::uint64_t held = 0;
    for (std::size_t at = 0; at + 4096 <= bytes.size(); at += 4096)
        held += blocks.count(std::string_view(bytes).substr(at, 4096)) * 4096;
    return held;
}

// A stick whose page cache can hide a slow flash (an image on a paced FUSE file, behind a loop
// device; the kernel's ext4 and exFAT through FUSE): the writing's progress never runs ahead of
// what the flash holds, moves along the way, and says 100 % only once the flash holds it all.
TEST_F(ExtractionTest, ProgressNeverRunsAheadOfWhatASlowStickHolds)
{
    if (const std::string why = LyingStickMount::Unavailable(); !why.empty())
        GTEST_SKIP() << why;
    std::string big(34u << 20, '\0'); // past one push step
    std::mt19937_64 random(11);
    for (std::size_t at = 0; at < big.size(); at += 8) {
        const std::uint64_t value = random();
        std::memcpy(&big[at], &value, 8);
    }
    WriteFileBytes(Source() / "kelvoClient" / "big.bin", big);
    ZipFolderWithInfoZip(Source(), Archive(), "-0");
    std::unordered_set<std::string_view> blocks;
    for (std::size_t at = 0; at < big.size(); at += 4096)
        blocks.insert(std::string_view(big).substr(at, 4096));

    for (const auto kind : {ScratchMount::Kind::Ext4Image, ScratchMount::Kind::ExfatImage}) {
        SCOPED_TRACE(kind == ScratchMount::Kind::Ext4Image ? "ext4" : "exFAT");
        const LyingStickMount flash(Volumes() / "flash-backing", Volumes() / "flash", {"--direct-io"});
        const ScratchMount stick(kind, Stick(), 96u << 20, "", Volumes() / "flash");
        if (!stick.SkipReason().empty())
            GTEST_SKIP() << stick.SkipReason();
        const fs::path image = Volumes() / "flash-backing" / (Stick().filename().string() + ".img");

        std::uint64_t checked = 0;
        int moves = 0;
        const ExtractionRun run = Extract(nullptr, [&](std::uint64_t processed) {
            if (processed == checked)
                return;
            checked = processed;
            ++moves;
            // A partial block at the end of what was reported is not matched.
            EXPECT_GE(BytesHeld(image, blocks) + 4096, processed) << "reported " << processed;
        });

        ASSERT_TRUE(run.ok) << run.error;
        EXPECT_EQ(checked, big.size());
        EXPECT_GE(moves, 2); // not only at the end
    }
}

} // namespace
