// Cutting the raw command line into tokens and applying the options.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "frontend/StartUp.h"

namespace orlenta {
namespace {

std::vector<std::string> Tokens(std::string rest) {
    std::vector<std::string> tokens;
    while (!rest.empty()) {
        tokens.push_back(NextToken(rest));
    }
    return tokens;
}

TEST(NextTokenTest, QuotesGroupAndVanishSpacesSeparate) {
    struct Case {
        const char* line;
        std::vector<std::string> tokens;
    };
    const Case cases[] = {
        {"-AVE=\"C:\\My AVEs\" -START=5 -AUTOSTART", {"-AVE=C:\\My AVEs", "-START=5", "-AUTOSTART"}},
        {"\"-TESTING=D:\\Test Runs\"", {"-TESTING=D:\\Test Runs"}},
        {"-AVE=C:\\A\"B C\"D E", {"-AVE=C:\\AB CD", "E"}},
        {"-AVE=\"C:\\My AVEs -START=5", {"-AVE=C:\\My AVEs -START=5"}},
        {"-AVE=\"C:\\My AVEs\\\"", {"-AVE=C:\\My AVEs\\"}},
        {"-AVE=\"\"", {"-AVE="}},
        {"-START=5\t-STOP=9", {"-START=5\t-STOP=9"}},
        {"   a    b   ", {"a", "b"}},
        {"\"\"\"\"x", {"x"}},
        {"a\"\" b", {"a", "b"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(c.tokens, Tokens(c.line));
    }
}

TEST(NextTokenTest, LeavesTheRestTrimmed) {
    std::string rest = "  first   second third  ";
    EXPECT_EQ("first", NextToken(rest));
    EXPECT_EQ("second third", rest);
    rest = "\"un closed";
    EXPECT_EQ("un closed", NextToken(rest));
    EXPECT_EQ("", rest);
}

struct ParseCase {
    const char* name;
    const char* line;
    bool autoStart;
    RunSettings expected;
};

RunSettings Base() {
    RunSettings s;
    s.AVEFolder = "ave";
    s.InstallationFolder = "kavro";
    s.TestingFolder = "testing";
    s.StartIndex = "1";
    s.StopIndex = "213";
    return s;
}

RunSettings With(std::string RunSettings::*field, std::string value, RunSettings s = Base()) {
    s.*field = std::move(value);
    return s;
}

RunSettings Nightly(std::string NightlyOptions::*field, std::string value, RunSettings s = Base()) {
    s.Nightly.*field = std::move(value);
    return s;
}

TEST(ParseCommandLineTest, AppliesOptionsAsWritten) {
    using S = RunSettings;
    const ParseCase cases[] = {
        {"spaces alone", "    ", false, Base()},
        {"quoted folder, start, autostart", "-AVE=\"C:\\My AVEs\" -START=5 -AUTOSTART", true,
         With(&S::StartIndex, "5", With(&S::AVEFolder, "C:\\My AVEs"))},
        {"whole token quoted", "\"-TESTING=D:\\Test Runs\"", false, With(&S::TestingFolder, "D:\\Test Runs")},
        {"quotes inside a token", "-AVE=C:\\A\"B C\"D E", false, With(&S::AVEFolder, "C:\\AB CD")},
        {"unclosed quote", "-AVE=\"C:\\My AVEs -START=5", false, With(&S::AVEFolder, "C:\\My AVEs -START=5")},
        {"backslash before quote", "-AVE=\"C:\\My AVEs\\\"", false, With(&S::AVEFolder, "C:\\My AVEs\\")},
        {"empty value", "-AVE=\"\"", false, With(&S::AVEFolder, "")},
        {"lower case name", "-start=7", false, With(&S::StartIndex, "7")},
        {"mixed case name, value keeps case", "-Testing=D:\\x", false, With(&S::TestingFolder, "D:\\x")},
        {"tab is no separator", "-START=5\t-STOP=9", false, With(&S::StartIndex, "5\t-STOP=9")},
        {"last occurrence wins", "-STOP=9 -STOP=12", false, With(&S::StopIndex, "12")},
        {"no number check", "-START=abc", false, With(&S::StartIndex, "abc")},
        {"name inside the token", "x-AVE=D:\\y", false, With(&S::AVEFolder, "xD:\\y")},
        {"earlier name in the table decides", "-TESTING=C:\\t-AVE=1", false, With(&S::AVEFolder, "-TESTING=C:\\t1")},
        {"autostart is tested first", "-AVE=D:\\Runs-autostart", true, Base()},
        {"autostart with a value", "-AUTOSTART=0", true, Base()},
        {"every occurrence removed, any case", "-kavro=a-KAVRO=b-Kavro=", false, With(&S::InstallationFolder, "ab")},
        {"unknown tokens ignored", "hello -X=1 /AUTOSTART", false, Base()},
        {"time limit in minutes, unchecked here", "-timeout=soon", false, Nightly(&NightlyOptions::PassTimeLimit, "soon")},
        {"unattended implies the automatic start", "-Unattended -log=C:\\n.log -JUNIT=\"C:\\r s.xml\"", true,
         Nightly(&NightlyOptions::JUnitFile, "C:\\r s.xml", Nightly(&NightlyOptions::LogFile, "C:\\n.log"))},
        {"a time limit inside an earlier option", "-STOP=2-TIMEOUT=5", false, With(&S::StopIndex, "2-TIMEOUT=5")},
        {"installation folder", "  -KAVRO=E:\\Kavro   -STOP=3  ", false,
         With(&S::StopIndex, "3", With(&S::InstallationFolder, "E:\\Kavro"))},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.name);
        RunSettings settings = Base();
        settings.AVEFilter = {true, false, true, false, true};
        RunSettings expected = c.expected;
        expected.AVEFilter = settings.AVEFilter;  // the command line has no option for the filter

        EXPECT_EQ(c.autoStart, ParseCommandLine(c.line, settings));
        EXPECT_EQ(expected.AVEFolder, settings.AVEFolder);
        EXPECT_EQ(expected.InstallationFolder, settings.InstallationFolder);
        EXPECT_EQ(expected.TestingFolder, settings.TestingFolder);
        EXPECT_EQ(expected.StartIndex, settings.StartIndex);
        EXPECT_EQ(expected.StopIndex, settings.StopIndex);
        EXPECT_EQ(expected.Nightly.PassTimeLimit, settings.Nightly.PassTimeLimit);
        EXPECT_EQ(expected.Nightly.LogFile, settings.Nightly.LogFile);
        EXPECT_EQ(expected.Nightly.JUnitFile, settings.Nightly.JUnitFile);
        EXPECT_EQ(std::string(c.name).find("unattended") == 0, settings.Nightly.Unattended);
        EXPECT_EQ(expected.AVEFilter, settings.AVEFilter);
    }
}

TEST(CommandLineWithoutProgramNameTest, StripsTheNameAsWindowsDelimitsIt) {
    struct Case {
        const char* full;
        const char* rest;
    };
    const Case cases[] = {
        {"Orlenta.exe", ""},
        {"Orlenta.exe -AUTOSTART", "-AUTOSTART"},
        {"C:\\Tools\\Orlenta.exe\t-START=5", "-START=5"},
        {"\"C:\\Program Files\\Orlenta.exe\" -AVE=\"C:\\My AVEs\"", "-AVE=\"C:\\My AVEs\""},
        {"\"C:\\Program Files\\Orlenta.exe\"", ""},
        {"\"C:\\x y\\Orlenta.exe\"   -STOP=9  ", "  -STOP=9  "},
        {"Orlenta.exe  ", " "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.full);
        EXPECT_EQ(c.rest, CommandLineWithoutProgramName(c.full));
    }
}

}  // namespace
}  // namespace orlenta
