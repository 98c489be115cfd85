// The command line: what parses, and every refusal with its reason.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

CommandLine Parse(std::vector<std::string> words)
{
    words.insert(words.begin(), "installer");
    std::vector<const char*> argv;
    for (const std::string& word : words)
        argv.push_back(word.c_str());
    return ParseCommandLine(static_cast<int>(argv.size()), argv.data());
}

TEST(CommandLineTest, OptionsAndTheirValues)
{
    const CommandLine station = Parse({"--station", "--count=4", "--package-key", "语文-1", "--no-verify", "--eject"});
    EXPECT_TRUE(station.error.empty()) << station.error;
    EXPECT_TRUE(station.station);
    EXPECT_EQ(station.count, 4);
    EXPECT_EQ(station.packageKey, "语文-1");
    EXPECT_FALSE(station.verify);
    EXPECT_TRUE(station.eject);

    const CommandLine skin = Parse({"--render-skin=/tmp/x"});
    EXPECT_EQ(skin.renderSkinDir, "/tmp/x");
    // A value that looks like an option is still the value.
    EXPECT_EQ(Parse({"--package-key", "--demo"}).packageKey, "--demo");
}

TEST(CommandLineTest, RefusalsNameWhatIsWrong)
{
    const struct {
        std::vector<std::string> words;
        std::string reason;
    } cases[] = {
        {{"--bogus"}, "unknown option: --bogus"},
        {{"--package-key"}, "--package-key needs a value"},
        {{"--station", "--count"}, "--count needs a value"},
        {{"--station", "--count", "0"}, "--count needs a whole number from 1 up: 0"},
        {{"--station", "--count", "-3"}, "--count needs a whole number from 1 up: -3"},
        {{"--station", "--count", "4x"}, "--count needs a whole number from 1 up: 4x"},
        {{"--station", "--count", "1000001"}, "--count needs a whole number from 1 up: 1000001"},
        {{"--count", "2"}, "--count needs --station"},
        {{"--station", "--demo"}, "--station cannot be combined with --demo or --unattended"},
        {{"--station", "--unattended"}, "--station cannot be combined with --demo or --unattended"},
        {{"--countx=3"}, "unknown option: --countx=3"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Parse(c.words).error, c.reason) << c.words.front();
}

} // namespace
