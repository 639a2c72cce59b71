// The test run, driven through its seams: prompts answered, messages, passes and files recorded.
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdint>
#include <iostream>
#include <map>
#include <optional>
#include <thread>

#include <gtest/gtest.h>

#include "run/AveChoice.h"
#include "run/AveSelection.h"
#include "run/NumberText.h"
#include "run/ReportingOperator.h"
#include "run/RunAutomation.h"
#include "run/RunLog.h"
#include "run/RunValues.h"
#include "run/TestingFolderReset.h"
#include "util/FolderChain.h"
#include "util/FolderWalkTestHook.h"
#include "util/PathForm.h"
#include "RunRecorders.h"
#include "frontend/WindowDriver.h"
#include "support/TestSupport.h"
#include "util/AppError.h"
#include "util/AppPaths.h"
#include "util/Handles.h"
#include "util/Text.h"

namespace orlenta {
namespace {

using test::PathExists;
using test::ReadBytes;
using test::WriteBytes;

constexpr const char* kPromptCaption = "KavroScript Additional Input";
constexpr const char* kTestingPrompt =
    "Your testing folder already exists. Please either enter a new name or press okay to delete old folder.";
constexpr const char* kKavFramePrompt =
    "Could not find the KavFrame executable on the specified path, please verify the location of the folder "
    "which contains KavFrame.exe";

std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

std::string Report(const std::string& description, int line) {
    return "Description: " + description + "\r\nLine No.: " + std::to_string(line);
}

// A scratch tree with an AVE folder, an installation folder holding KavFrame.exe, and a work
// folder that is the current directory while the run goes on.
class RunAutomationTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::MakeFolder(scratch_ / "aves");
        test::MakeFolder(scratch_ / "kavro");
        test::MakeFolder(scratch_ / "work");
        WriteBytes(scratch_ / "kavro\\KavFrame.exe", "stand-in");
        ASSERT_TRUE(SetCurrentDirectoryA((scratch_ / "work").c_str()));

        settings_.AVEFolder = scratch_ / "aves";
        settings_.InstallationFolder = scratch_ / "kavro";
        settings_.TestingFolder = scratch_ / "testing";
        settings_.StartIndex = "7";
        settings_.StopIndex = "9";
    }
    RunResult Run(ScriptShellFactory factory = {}) {
        if (!factory) {
            factory = [this] { return std::make_unique<test::RecordingShell>(passes_, op_); };
        }
        return RunAutomation(settings_, op_, factory);
    }

    std::string Header(const std::string& installationLine, const std::string& testingLine,
                       const char* flags = "TTTTT") const {
        std::vector<std::string> lines = {scratch_ / "aves\\", installationLine, testingLine};
        for (const char* f = flags; *f != '\0'; ++f) {
            lines.push_back(*f == 'T' ? "True" : "False");
        }
        return Lines(lines);
    }
    std::string Header() const { return Header(scratch_ / "kavro\\", scratch_ / "testing\\"); }

    std::string InputFile() const { return scratch_ / "work\\InputData.txt"; }

    test::ScratchFolder scratch_;
    test::CurrentDirectoryGuard currentDirectory_;
    RunSettings settings_;
    test::RecordingOperator op_;
    std::vector<test::ScriptPass> passes_;
};

TEST_F(RunAutomationTest, RunsTheScriptOncePerNumberWithTheGrowingInputFile) {
    const RunResult result = Run();

    EXPECT_TRUE(op_.messages.empty());
    EXPECT_TRUE(op_.prompts.empty());
    ASSERT_EQ(3u, passes_.size());
    const std::string expectedCommand = "\"" + ApplicationFolder() + "\\Files\\KavroTestScript1.vbs\"";
    const std::vector<std::string> numbers = {"7", "8", "9"};
    for (size_t i = 0; i < passes_.size(); ++i) {
        SCOPED_TRACE("pass " + std::to_string(i + 1));
        const test::ScriptPass& pass = passes_[i];
        EXPECT_EQ(expectedCommand, pass.command);
        EXPECT_EQ(5, pass.windowStyle);
        EXPECT_TRUE(pass.wait);
        EXPECT_FALSE(pass.controlsEnabled);
        std::vector<std::string> soFar(numbers.begin(), numbers.begin() + static_cast<long>(i) + 1);
        EXPECT_EQ(Header() + Lines(soFar), pass.inputFile);
        const std::string name = AveName(7 + static_cast<int>(i));
        EXPECT_EQ(scratch_ / ("aves\\" + name + "\\" + name + ".ach"), pass.status);
    }
    EXPECT_EQ(0, op_.progressMinimum);
    EXPECT_EQ(3, op_.progressMaximum);
    EXPECT_EQ((std::vector<long>{0, 0, 1, 2, 0}), op_.progressValues);
    EXPECT_EQ(3, op_.refreshes);
    EXPECT_EQ("", op_.status);
    EXPECT_EQ((std::vector<std::string>{"disable", "enable"}), op_.events);
    EXPECT_FALSE(PathExists(InputFile()));
    EXPECT_EQ((std::vector<std::string>{"Open|" + (scratch_ / "testing\\TestResults.htm") + "|||10"}),
              op_.documents);
    // Every pass is recorded in order, with the archive the status line showed.
    ASSERT_EQ(3u, result.Passes.size());
    for (size_t i = 0; i < result.Passes.size(); ++i) {
        EXPECT_EQ(7 + static_cast<int>(i), result.Passes[i].AveNumber);
        EXPECT_EQ(passes_[i].status, result.Passes[i].ArchivePath);
        EXPECT_TRUE(result.Passes[i].Passed());
    }
    EXPECT_TRUE(result.ReachedPasses);
    EXPECT_FALSE(result.Stopped);
    EXPECT_TRUE(result.FailedLines.empty());
}

TEST_F(RunAutomationTest, StopRequestSkipsTheRemainingPassesAndRunsTheClosingSteps) {
    op_.stopWhen = [this] { return passes_.size() == 1; };
    const RunResult result = Run();
    EXPECT_EQ(1u, passes_.size());
    EXPECT_EQ(1u, result.Passes.size());
    EXPECT_TRUE(result.Stopped);
    EXPECT_FALSE(PathExists(InputFile()));
    EXPECT_EQ(1u, op_.documents.size());
    EXPECT_EQ("enable", op_.events.back());
}

TEST_F(RunAutomationTest, TimeLimitThatIsNoPositiveWholeNumberIsReportedAndTheRunGoesOnWithoutOne) {
    settings_.StopIndex = "7";
    for (const char* limit : {"0", "-5", "1.5", "soon", "99999999999"}) {
        SCOPED_TRACE(limit);
        op_ = test::RecordingOperator{};
        passes_.clear();
        settings_.Nightly.PassTimeLimit = limit;
        Run();
        EXPECT_EQ((std::vector<std::string>{"The time limit \"" + std::string(limit) +
                                            "\" is not a positive whole number of minutes; the passes run "
                                            "without a limit."}),
                  op_.messages);
        EXPECT_EQ(1u, passes_.size());
    }
    EXPECT_EQ(5, *TimeLimitMinutes(" 5 "));
}

// One reading of whole numbers for the range, the time limit, the list and the shard.
TEST(WholeNumberTest, EveryReaderTakesTheSameDigitsAndRefusesTheSameTexts) {
    struct Case {
        const char* text;
        std::optional<std::int64_t> asStart;  // signed, 32 bits
        std::optional<std::int64_t> asMinutes;  // 1 to a year, no sign
    };
    const Case cases[] = {
        {"7", 7, 7},          {"0007", 7, 7},         {"0000000000007", 7, 7},  {"+7", 7, std::nullopt},
        {"-7", -7, std::nullopt}, {"-0", 0, std::nullopt}, {"0", 0, std::nullopt}, {"527040", 527040, 527040},
        {"527041", 527041, std::nullopt}, {"2147483647", 2147483647, std::nullopt},
        {"2147483648", std::nullopt, std::nullopt}, {"-2147483648", -2147483648LL, std::nullopt},
        {"-2147483649", std::nullopt, std::nullopt}, {"99999999999999999999", std::nullopt, std::nullopt},
        {"", std::nullopt, std::nullopt}, {"-", std::nullopt, std::nullopt}, {"1.5", std::nullopt, std::nullopt},
        {"1e3", std::nullopt, std::nullopt}, {"+-1", std::nullopt, std::nullopt}, {"\xd9\xa3", std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.asStart, ReadWholeNumber(c.text, INT32_MIN, INT32_MAX, true));
        EXPECT_EQ(c.asMinutes, TimeLimitMinutes(c.text));
        const bool asAve = c.asStart && *c.asStart >= 0 && std::string(c.text).find_first_of("+-") == std::string::npos;
        EXPECT_EQ(asAve, ReadAveList(c.text).Problem.empty());
        EXPECT_EQ(asAve && *c.asStart >= 1, ReadShard(std::string(c.text) + "/2147483647").has_value());
    }
}

TEST_F(RunAutomationTest, UncheckedTypesAreWrittenAsFalseAndTheScriptStillRuns) {
    settings_.AVEFilter = {false, false, false, false, false};
    settings_.StopIndex = "7";
    Run();
    ASSERT_EQ(1u, passes_.size());
    EXPECT_EQ(Header(scratch_ / "kavro\\", scratch_ / "testing\\", "FFFFF") + Lines({"7"}), passes_[0].inputFile);
    EXPECT_EQ(1, op_.progressMaximum);
}

TEST_F(RunAutomationTest, MissingFoldersEndTheRunBeforeAnythingChanges) {
    WriteBytes(InputFile(), "left over\r\n");
    struct Case {
        const char* name;
        std::string aveFolder;
        std::string installationFolder;
        std::string message;
    };
    const Case cases[] = {
        {"empty AVE folder", "", scratch_ / "kavro", "\\ folder does not exist."},
        {"missing AVE folder", scratch_ / "nowhere", scratch_ / "kavro",
         (scratch_ / "nowhere\\") + " folder does not exist."},
        {"AVE folder is a file", scratch_ / "kavro\\KavFrame.exe", scratch_ / "kavro",
         (scratch_ / "kavro\\KavFrame.exe\\") + " cannot be used as a folder: it names a file, and a folder is needed."},
        {"AVE folder with a wildcard", scratch_ / "ave?", scratch_ / "kavro",
         (scratch_ / "ave?\\") + " cannot be used as a folder: it holds the wildcard or reserved character \"?\"."},
        {"missing installation folder", scratch_ / "aves", "  " + (scratch_ / "gone") + "  ",
         (scratch_ / "gone\\") + " folder does not exist."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        op_ = test::RecordingOperator{};
        settings_.AVEFolder = c.aveFolder;
        settings_.InstallationFolder = c.installationFolder;
        Run();
        EXPECT_EQ((std::vector<std::string>{"message: " + c.message}), op_.events);
        EXPECT_TRUE(passes_.empty());
        EXPECT_EQ("left over\r\n", ReadBytes(InputFile()));
    }
}

TEST_F(RunAutomationTest, StartTextThatIsNoNumberIsReportedAndTheRunGoesOnFromZero) {
    settings_.StartIndex = "abc";
    settings_.StopIndex = "2";
    Run();
    EXPECT_EQ((std::vector<std::string>{Report("Type mismatch", 120)}), op_.messages);
    ASSERT_EQ(3u, passes_.size());
    EXPECT_EQ(Header() + Lines({"0", "1", "2"}), passes_[2].inputFile);
    EXPECT_EQ(3, op_.progressMaximum);
}

TEST_F(RunAutomationTest, StopNumberOutsideThe32BitRangeIsReportedAtLine130) {
    settings_.StopIndex = "2147483648";
    settings_.StartIndex = "1";
    Run();
    EXPECT_EQ((std::vector<std::string>{Report("Overflow", 130)}), op_.messages);
    EXPECT_TRUE(passes_.empty());  // the stop number stayed 0
}

TEST_F(RunAutomationTest, StopBelowStartRunsNoPassButWritesAndDeletesTheFile) {
    settings_.StartIndex = "5";
    settings_.StopIndex = "3";
    std::string fileWhenDisabled;
    op_.onDisable = [&] { fileWhenDisabled = ReadBytes(InputFile()); };
    Run();
    EXPECT_TRUE(op_.messages.empty());
    EXPECT_TRUE(passes_.empty());
    EXPECT_EQ(Header(), fileWhenDisabled);
    EXPECT_EQ(-1, op_.progressMaximum);
    EXPECT_FALSE(PathExists(InputFile()));
    EXPECT_EQ(1u, op_.documents.size());
    EXPECT_EQ((std::vector<std::string>{"disable", "enable"}), op_.events);
}

TEST_F(RunAutomationTest, NegativeAndPaddedNumbers) {
    settings_.StartIndex = "-1";
    settings_.StopIndex = "0";
    Run();
    ASSERT_EQ(2u, passes_.size());
    EXPECT_EQ(Header() + Lines({"-1", "0"}), passes_[1].inputFile);
    EXPECT_EQ(scratch_ / "aves\\Ave-001\\Ave-001.ach", passes_[0].status);
    EXPECT_EQ(scratch_ / "aves\\Ave000\\Ave000.ach", passes_[1].status);
}

TEST_F(RunAutomationTest, CounterPassingTheLargest32BitNumberEndsTheLoop) {
    settings_.StartIndex = "2147483646";
    settings_.StopIndex = "2147483647";
    Run();
    ASSERT_EQ(2u, passes_.size());
    EXPECT_EQ(Header() + Lines({"2147483646", "2147483647"}), passes_[1].inputFile);
    EXPECT_EQ((std::vector<std::string>{Report("Overflow", 600)}), op_.messages);
    // Lines 610 to 670 still ran.
    EXPECT_FALSE(PathExists(InputFile()));
    EXPECT_EQ("enable", op_.events.back());
    EXPECT_EQ(1u, op_.documents.size());
}

// Input that is not this run's (an old file that stays, or a new one never written) runs no pass;
// the closing steps still run.
TEST_F(RunAutomationTest, InputFileThatCannotBeReplacedEndsTheRunBeforeItsPasses) {
    struct Case {
        const char* name;
        std::vector<int> reportedLines;
    };
    const Case cases[] = {
        // A folder in the file's place: it can be neither deleted as a file nor opened for writing.
        {"folder in the file's place", {180, 380, 630}},
        // Held open without share-delete: it cannot be deleted, though it can be rewritten.
        {"file held open by another program", {180, 630}},
        {"read-only current folder", {380}},
    };
    settings_.StopIndex = "8";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        op_ = test::RecordingOperator{};
        KernelHandle held;
        const std::string unixWork = test::UnixPath(scratch_ / "work");
        struct Immutable {
            std::string folder;
            ~Immutable() {
                if (!folder.empty()) test::RunHostScript("chattr -i '" + folder + "'");
            }
        } immutable;
        if (c.reportedLines.front() == 380) {
            // Only the host can deny a root-run Wine writing a folder; skip where chattr cannot.
            if (!test::RunHostScript("chattr +i '" + unixWork + "'")) {
                std::cout << "skipped: chattr +i is not available here\n";
                continue;
            }
            immutable.folder = unixWork;
        } else if (c.reportedLines.size() == 3) {
            test::MakeFolder(InputFile());
        } else {
            WriteBytes(InputFile(), "old run\r\n");
            held.reset(CreateFileA(InputFile().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
            ASSERT_NE(INVALID_HANDLE_VALUE, held.get());
        }
        Run();

        std::vector<int> lines;
        for (const std::string& message : op_.messages) {
            lines.push_back(std::stoi(message.substr(message.rfind(' ') + 1)));
        }
        EXPECT_EQ(c.reportedLines, lines);
        EXPECT_TRUE(passes_.empty());
        EXPECT_EQ("enable", op_.events.back());
        EXPECT_EQ(1u, op_.documents.size());
        held.reset();
        test::RemoveTree(InputFile());
        DeleteFileA(InputFile().c_str());
    }
}

TEST_F(RunAutomationTest, ShellThatCannotBeCreatedIsReportedOnceAndThenInEveryPass) {
    Run([]() -> std::unique_ptr<ScriptShell> { throw AppError(-2147221005, "Orlenta", "Invalid class string"); });
    EXPECT_EQ((std::vector<std::string>{Report("Invalid class string", 480),
                                        Report("Object variable or With block variable not set", 580),
                                        Report("Object variable or With block variable not set", 580),
                                        Report("Object variable or With block variable not set", 580)}),
              op_.messages);
    EXPECT_FALSE(PathExists(InputFile()));
}

// A shell that cannot start the script raises, as WScript.Shell does on Windows for a missing file.
class MissingScriptShell : public ScriptShell {
public:
    long Run(const std::string&, long, bool) override {
        throw AppError(-2147024894, "WshShell.Run", "The system cannot find the file specified.");
    }
};

TEST_F(RunAutomationTest, ScriptThatCannotBeStartedIsReportedOncePerPass) {
    settings_.StopIndex = "9";
    Run([] { return std::make_unique<MissingScriptShell>(); });
    EXPECT_EQ(std::vector<std::string>(3, Report("The system cannot find the file specified.", 580)), op_.messages);
    EXPECT_FALSE(PathExists(InputFile()));
    EXPECT_EQ("enable", op_.events.back());
}

TEST_F(RunAutomationTest, RealLauncherWithAMissingScriptReportsEveryPassAndRecordsIt) {
    // The test program's folder has no Files\KavroTestScript1.vbs.
    ASSERT_FALSE(PathExists(ApplicationFolder() + "\\Files\\KavroTestScript1.vbs"));
    settings_.StopIndex = "8";
    const RunResult result = RunAutomation(settings_, op_, CreateScriptLauncher);

    const std::string reason = SystemMessage(ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(std::vector<std::string>(2, Report(reason, 580)), op_.messages);
    EXPECT_EQ((std::vector<int>{580, 580}), result.FailedLines);
    ASSERT_EQ(2u, result.Passes.size());
    for (const PassRecord& record : result.Passes) {
        EXPECT_EQ(PassOutcome::CouldNotStart, record.Outcome);
        EXPECT_EQ("could not start: " + reason, OutcomeText(record));
    }
    EXPECT_EQ(8, result.Passes[1].AveNumber);
    EXPECT_TRUE(result.ReachedPasses);
    EXPECT_FALSE(PathExists(InputFile()));
    EXPECT_EQ("enable", op_.events.back());
}

// The second pass outlasts the bound after its time limit ended it, as a process stuck in I/O would.
class ShellWithAPassThatCannotBeEnded : public ScriptShell {
public:
    explicit ShellWithAPassThatCannotBeEnded(int& passes) : passes_(passes) {}
    long Run(const std::string&, long, bool) override { return 0; }
    ScriptRun RunPass(const std::string&, long, const PassLimits&) override {
        ScriptRun run;
        if (++passes_ == 2) {
            run.Outcome = PassOutcome::TimedOut;
            run.CouldNotBeEnded = true;
        }
        return run;
    }

private:
    int& passes_;
};

TEST_F(RunAutomationTest, PassThatCouldNotBeEndedIsTheLastAndTheRunEndsWithTwoAfterItsClosingSteps) {
    const std::string logPath = scratch_ / "night.log";
    const std::string junitPath = scratch_ / "night.xml";
    int passes = 0;
    RunResult result;
    int exitCode = 0;
    {
        RunLog log(AnsiToWide(logPath));
        ReportingOperator reporter(op_, &log, AnsiToWide(junitPath));
        result = RunAutomation(settings_, reporter,
                               [&] { return std::make_unique<ShellWithAPassThatCannotBeEnded>(passes); });
        exitCode = reporter.FinishRun(result, ExitCodeOf(result));
    }
    // Its processes may still hold the run's files: no pass after it, the closing steps all the same.
    EXPECT_EQ(2, passes);
    ASSERT_EQ(2u, result.Passes.size());
    EXPECT_EQ(2, exitCode);
    EXPECT_FALSE(PathExists(InputFile()));
    EXPECT_EQ(1u, op_.documents.size());
    EXPECT_EQ("enable", op_.events.back());
    const std::string logText = ReadBytes(logPath);
    EXPECT_NE(std::string::npos, logText.find("Pass AVE 8 ends: timed out and could not be ended, ")) << logText;
    EXPECT_NE(std::string::npos, logText.find("2 passes, 1 failed, pass AVE 8 could not be ended; exit code 2"))
        << logText;
    const std::string junit = ReadBytes(junitPath);
    EXPECT_NE(std::string::npos, junit.find("<error message=\"timed out and could not be ended\"")) << junit;
    EXPECT_NE(std::string::npos, junit.find("name=\"Ave009\"")) << junit;
}

// Outcomes by AVE and attempt: "7" fails once then passes, "8" times out, "9" cannot start at first.
class ShellOfOutcomes : public test::RecordingShell {
public:
    using RecordingShell::RecordingShell;
    ScriptRun RunPass(const std::string& command, long windowStyle, const PassLimits&) override {
        Run(command, windowStyle, true);
        const std::string input = passes_.back().inputFile;
        const std::string ave = input.substr(input.find_last_of('\n', input.size() - 3) + 1, 1);
        const int attempt = ++attempts_[ave];
        ScriptRun run;
        if (ave == "7" && attempt == 1) {
            run.ExitCode = 3;
        } else if (ave == "8") {
            run.Outcome = PassOutcome::TimedOut;
        } else if (ave == "9" && attempt == 1) {
            throw AppError(ERROR_FILE_NOT_FOUND, "test", "the script host is not there yet");
        }
        return run;
    }
    std::vector<test::ScriptPass>& passes_ = Passes();
    std::map<std::string, int> attempts_;
};

// A pass that failed, or could not start, runs again once every AVE had its first pass; one that
// timed out does not. The input file is what it is for any pass: every number so far, this one last.
TEST_F(RunAutomationTest, RetriesComeAfterEveryFirstPassAndOnlyForFailures) {
    const std::string logPath = scratch_ / "night.log";
    const std::string junitPath = scratch_ / "night.xml";
    settings_.Nightly.Retries = "2";
    RunResult result;
    int exitCode = 0;
    {
        RunLog log(AnsiToWide(logPath));
        ReportingOperator reporter(op_, &log, AnsiToWide(junitPath));
        result = RunAutomation(settings_, reporter, [&] { return std::make_unique<ShellOfOutcomes>(passes_, op_); });
        exitCode = reporter.FinishRun(result, ExitCodeOf(result));
    }
    ASSERT_EQ(5u, passes_.size());
    EXPECT_EQ(Header() + Lines({"7", "8", "9", "7", "9"}), passes_[4].inputFile);
    EXPECT_EQ(1, exitCode) << "Ave008 timed out and was not tried again";
    const std::string logText = ReadBytes(logPath);
    EXPECT_LT(logText.find("Pass AVE 9 ends"), logText.find("Pass AVE 7 retry 1 of 2 starts")) << logText;
    EXPECT_NE(std::string::npos, logText.find("Pass AVE 7 retry 1 of 2 ends: exit code 0")) << logText;
    EXPECT_EQ(std::string::npos, logText.find("Pass AVE 8 retry")) << logText;
    EXPECT_NE(std::string::npos, logText.find("5 passes, 1 failed, 2 flaky; exit code 1")) << logText;
    const std::string junit = ReadBytes(junitPath);
    EXPECT_NE(std::string::npos, junit.find("<flakyFailure message=\"attempt 1: exit code 3\" type=\"exit code\"/>"))
        << junit;
    EXPECT_NE(std::string::npos, junit.find("<flakyFailure message=\"attempt 1: could not start: the script host is not "
                                            "there yet\" type=\"could not start\"/>"))
        << junit;
    EXPECT_NE(std::string::npos, junit.find("<property name=\"flaky\" value=\"2\"/>")) << junit;
    EXPECT_NE(std::string::npos, junit.find("tests=\"3\" failures=\"0\" errors=\"1\"")) << junit;
}

TEST_F(RunAutomationTest, ExistingTestingFolderAnsweredWithItsOwnPathIsReplaced) {
    test::MakeFolder(scratch_ / "testing");
    char shortName[MAX_PATH] = {};
    ASSERT_NE(0u, GetShortPathNameA((scratch_ / "testing").c_str(), shortName, MAX_PATH));
    std::string slashes = scratch_ / "testing";
    std::replace(slashes.begin(), slashes.end(), '\\', '/');
    struct Case {
        const char* name;
        std::string answer;
        std::string inInputFile;  // the answer in its full form, letter case as typed
    };
    // The same folder in other spellings: the answer counts as the folder itself.
    const Case cases[] = {
        {"other letter case, no backslash", ToLowerText(scratch_ / "TESTING"), ToLowerText(scratch_ / "TESTING\\")},
        {"forward slashes and a dot segment", slashes + "/./", scratch_ / "testing\\"},
        {"its short name", shortName, std::string(shortName) + "\\"},
    };
    settings_.StopIndex = "7";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        op_ = test::RecordingOperator{};
        passes_.clear();
        test::MakeFolder(scratch_ / "testing\\sub\\deeper");
        WriteBytes(scratch_ / "testing\\sub\\deeper\\old.htm", "old");
        WriteBytes(scratch_ / "testing\\results.txt", "old");
        // Read-only, as archives copied from a read-only source are.
        ASSERT_TRUE(SetFileAttributesA((scratch_ / "testing\\results.txt").c_str(), FILE_ATTRIBUTE_READONLY));
        WriteBytes(InputFile(), "left over\r\n");
        op_.answers = {c.answer};
        Run();

        ASSERT_EQ(1u, op_.prompts.size());
        EXPECT_EQ(kTestingPrompt, op_.prompts[0].prompt);
        EXPECT_EQ(kPromptCaption, op_.prompts[0].caption);
        EXPECT_EQ(scratch_ / "testing\\", op_.prompts[0].defaultAnswer);
        EXPECT_FALSE(PathExists(scratch_ / "testing"));
        EXPECT_TRUE(op_.messages.empty());
        ASSERT_EQ(1u, passes_.size());
        EXPECT_EQ(Header(scratch_ / "kavro\\", c.inInputFile) + Lines({"7"}), passes_[0].inputFile);
        EXPECT_EQ("Open|" + c.inInputFile + "TestResults.htm|||10", op_.documents.at(0));
    }
}

TEST_F(RunAutomationTest, ExistingTestingFolderAnsweredWithAnotherPathIsLeftAlone) {
    test::MakeFolder(scratch_ / "testing");
    WriteBytes(scratch_ / "testing\\keep.txt", "keep");
    op_.answers = {"  " + (scratch_ / "elsewhere") + " "};
    settings_.StopIndex = "7";
    Run();
    EXPECT_EQ("keep", ReadBytes(scratch_ / "testing\\keep.txt"));
    EXPECT_FALSE(PathExists(scratch_ / "elsewhere"));
    ASSERT_EQ(1u, passes_.size());
    EXPECT_EQ(Header(scratch_ / "kavro\\", scratch_ / "elsewhere\\") + Lines({"7"}), passes_[0].inputFile);
}

TEST_F(RunAutomationTest, CancelAtEitherPromptEndsTheRunAfterTheLeftoverFileIsGone) {
    struct Case {
        const char* name;
        bool testingExists;
        bool kavFrameMissing;
        std::deque<std::string> answers;
    };
    const Case cases[] = {
        {"testing folder prompt", true, false, {""}},
        {"executable prompt", false, true, {""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        op_ = test::RecordingOperator{};
        op_.answers = c.answers;
        test::RemoveTree(scratch_ / "testing");
        if (c.testingExists) {
            test::MakeFolder(scratch_ / "testing");
        }
        if (c.kavFrameMissing) {
            DeleteFileA((scratch_ / "kavro\\KavFrame.exe").c_str());
        }
        WriteBytes(InputFile(), "left over\r\n");
        Run();
        EXPECT_EQ(1u, op_.prompts.size());
        EXPECT_TRUE(op_.messages.empty());
        EXPECT_TRUE(passes_.empty());
        EXPECT_FALSE(PathExists(InputFile()));
        EXPECT_EQ(c.testingExists, PathExists(scratch_ / "testing"));
        EXPECT_EQ(-999, op_.progressMaximum);
        EXPECT_TRUE(op_.documents.empty());
    }
}

TEST_F(RunAutomationTest, InstallationFolderTypedAtThePromptStandsAsTyped) {
    DeleteFileA((scratch_ / "kavro\\KavFrame.exe").c_str());
    op_.answers = {scratch_ / "elsewhere"};
    settings_.StopIndex = "7";
    Run();
    ASSERT_EQ(1u, op_.prompts.size());
    EXPECT_EQ(kKavFramePrompt, op_.prompts[0].prompt);
    EXPECT_EQ(kPromptCaption, op_.prompts[0].caption);
    EXPECT_EQ(scratch_ / "kavro\\", op_.prompts[0].defaultAnswer);
    ASSERT_EQ(1u, passes_.size());
    EXPECT_EQ(Header(scratch_ / "elsewhere", scratch_ / "testing\\") + Lines({"7"}), passes_[0].inputFile);
}

TEST_F(RunAutomationTest, TestingFolderHoldingWhatTheRunNeedsIsNeverDeleted) {
    test::MakeFolder(scratch_ / "aves\\Ave001");
    WriteBytes(scratch_ / "aves\\Ave001\\Ave001.ach", "archive");
    test::MakeFolder(scratch_ / "kavro\\Bin");
    // The program's Files folder (beside this test program) gets a folder of its own for one case.
    const std::string files = ApplicationFolder() + "\\Files";
    const bool filesExisted = PathExists(files);
    test::MakeFolder(files + "\\testing-" + std::to_string(GetCurrentProcessId()));
    struct FilesCleanup {
        std::string path;
        ~FilesCleanup() { test::RemoveTree(path); }
    } filesCleanup{filesExisted ? files + "\\testing-" + std::to_string(GetCurrentProcessId()) : files};
    const test::HostSymlink link(scratch_ / "aves", scratch_ / "avelink");
    ASSERT_TRUE(link.Made()) << link.Problem();
    test::ScratchFolder outside;
    WriteBytes(outside / "canary.txt", "keep");
    const test::HostSymlink outsideLink(outside.Path(), scratch_ / "outlink");
    ASSERT_TRUE(outsideLink.Made()) << outsideLink.Problem();
    std::string slashes = scratch_ / "aves";
    std::replace(slashes.begin(), slashes.end(), '\\', '/');

    struct Case {
        const char* name;
        std::string testing;  // exists, and the operator presses OK on it
        const char* reason;
    };
    const Case cases[] = {
        {"is the AVE folder", scratch_ / "aves", "it is the AVE folder."},
        {"holds the AVE folder", scratch_.Path(), "it contains the AVE folder "},
        {"is the installation folder in other case", scratch_ / "KAVRO", "it is the installation folder."},
        {"dot segments", scratch_ / ".\\work\\..\\aves", "it is the AVE folder."},
        {"forward slashes", slashes, "it is the AVE folder."},
        {"relative path", "..\\aves", "it is the AVE folder."},
        // A link on the way is refused outright, whatever it leads to.
        {"link to the AVE folder", scratch_ / "avelink", "avelink is a link to "},
        {"link to a folder elsewhere", scratch_ / "outlink", "outlink is a link to "},
        {"inside the AVE folder", scratch_ / "aves\\Ave001", "it lies inside the AVE folder "},
        {"inside the installation folder", scratch_ / "kavro\\Bin", "it lies inside the installation folder "},
        {"inside the program's Files folder", files + "\\testing-" + std::to_string(GetCurrentProcessId()),
         "it lies inside the program's Files folder "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        op_ = test::RecordingOperator{};
        settings_.TestingFolder = c.testing;
        op_.answers = {c.testing + "\\"};
        Run();
        ASSERT_EQ(1u, op_.messages.size());
        EXPECT_EQ(0u, op_.messages[0].find("The testing folder " + c.testing + "\\ will not be deleted: "));
        EXPECT_NE(std::string::npos, op_.messages[0].find(c.reason)) << op_.messages[0];
        EXPECT_TRUE(PathExists(scratch_ / "kavro\\KavFrame.exe"));
        EXPECT_EQ("archive", ReadBytes(scratch_ / "aves\\Ave001\\Ave001.ach"));
        EXPECT_TRUE(PathExists(files));
        EXPECT_EQ("keep", ReadBytes(outside / "canary.txt"));
        EXPECT_TRUE(passes_.empty());
        EXPECT_TRUE(op_.documents.empty());
    }
}

// What the reset could not clear is named with the system's reason, and no pass runs on it.
// The folder the operator confirmed is the folder the reset empties: a parent swapped for a link to
// a look-alike after the checks leads the reset nowhere else.
TEST_F(RunAutomationTest, ParentSwappedForALinkAfterTheChecksLeadsTheResetNowhereElse) {
    test::ScratchFolder outside;
    test::MakeFolder(outside / "testing");
    WriteBytes(outside / "testing\\canary.txt", "keep");
    const std::string testing = scratch_ / "parent\\testing";
    test::MakeFolder(testing);
    WriteBytes(testing + "\\old.txt", "old");
    settings_.TestingFolder = testing;
    op_.answers = {testing};
    const std::string unixScratch = test::UnixPath(scratch_.Path());
    bool swapped = false;
    test_hooks::SetFolderListedHook([&](const std::wstring&) {
        if (!swapped) {
            swapped = test::RunHostScript("cd '" + unixScratch + "' && mv parent moved && ln -s '" +
                                          test::UnixPath(outside.Path()) + "' parent");
        }
    });
    Run();
    test_hooks::SetFolderListedHook({});
    ASSERT_TRUE(swapped);
    EXPECT_EQ("keep", ReadBytes(outside / "testing\\canary.txt"));
    // Under Wine the moved folder's files reach a path that no longer matches their folder's, so
    // they are kept and named, and the run ends before its passes; either way nothing outside.
    EXPECT_TRUE(!PathExists(scratch_ / "moved\\testing") || (passes_.empty() && op_.messages.size() == 1));
    EXPECT_TRUE(test::RunHostScript("rm '" + unixScratch + "/parent'"));
}

TEST_F(RunAutomationTest, TestingFolderThatStaysIsNamedWithWhatRemainsAndNoPassRuns) {
    const std::string testing = scratch_ / "testing";
    struct Case {
        const char* name;
        std::vector<std::string> kept;  // folders below the testing folder that stay
        DWORD holdSharing;              // share mode of a handle held on sub\held.txt; 0 for none
        std::string inMessage;
    };
    const Case cases[] = {
        {".git folder", {".git"}, 0,
         testing + "\\.git - kept: its name begins with a full stop."},
        // The folder holding the file is not named again: the file says why it stays.
        {"file held open by another program", {}, FILE_SHARE_READ,
         "remains:\r\n" + testing + "\\sub\\held.txt - " + SystemMessage(ERROR_SHARING_VIOLATION)},
        // An indexer or a virus scanner allows the deletion, and the file stays while it holds it.
        {"file held open with delete sharing", {}, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
         "remains:\r\n" + testing +
             "\\sub\\held.txt - still there after its deletion was accepted: another program holds it open."},
        {"more than five entries", {".a", ".b", ".c", ".d", ".e", ".f", ".g"}, 0, "\r\nand 2 more."},
    };
    settings_.StopIndex = "7";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        op_ = test::RecordingOperator{};
        test::RemoveTree(testing);
        for (const std::string& folder : c.kept) {
            test::MakeFolder(testing + "\\" + folder);
            WriteBytes(testing + "\\" + folder + "\\inside", "kept");
        }
        test::MakeFolder(testing + "\\sub");
        WriteBytes(testing + "\\sub\\held.txt", "h");
        WriteBytes(testing + "\\TestResults.htm", "old results");
        KernelHandle held;
        if (c.holdSharing != 0) {
            held.reset(CreateFileA((testing + "\\sub\\held.txt").c_str(), GENERIC_READ, c.holdSharing, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
            ASSERT_NE(INVALID_HANDLE_VALUE, held.get());
        }
        op_.answers = {testing};
        Run();
        held.reset();

        ASSERT_EQ(1u, op_.messages.size());
        EXPECT_EQ(0u, op_.messages[0].find("The testing folder " + testing +
                                           "\\ could not be cleared, so the run ends before its first pass."))
            << op_.messages[0];
        EXPECT_NE(std::string::npos, op_.messages[0].find(c.inMessage)) << op_.messages[0];
        EXPECT_EQ(std::string::npos, op_.messages[0].find(testing + "\\sub - ")) << op_.messages[0];
        EXPECT_FALSE(PathExists(testing + "\\TestResults.htm"));
        for (const std::string& folder : c.kept) {
            EXPECT_EQ("kept", ReadBytes(testing + "\\" + folder + "\\inside"));
        }
        EXPECT_TRUE(passes_.empty());
        EXPECT_TRUE(op_.documents.empty());
        EXPECT_EQ(-999, op_.progressMaximum);
    }
}

TEST_F(RunAutomationTest, ControlsDisabledBeforeTheRunAreEnabledAfterIt) {
    op_.enabled = false;
    settings_.StopIndex = "7";
    Run();
    EXPECT_TRUE(op_.enabled);
    ASSERT_EQ(1u, passes_.size());
    EXPECT_FALSE(passes_[0].controlsEnabled);
}

TEST(RunValuesTest, NumberTextsConvertLikeABasicConversion) {
    struct Case {
        const char* text;
        long value;
        long error;  // 0 when the text converts
    };
    const Case cases[] = {
        {"7", 7, 0},           {" 42 ", 42, 0},       {"-5", -5, 0},        {"+3", 3, 0},
        {"007", 7, 0},         {"2.5", 2, 0},         {"3.5", 4, 0},        {"2.51", 3, 0},
        {"-2.5", -2, 0},       {"2147483647", 2147483647, 0},               {"-2147483648", -2147483647L - 1, 0},
        {"abc", 0, 13},        {"", 0, 13},           {"1 2", 0, 13},       {"5x", 0, 13},
        {"\t5", 0, 13},        {".", 0, 13},          {"2147483648", 0, 6}, {"-2147483649", 0, 6},
        {"99999999999999999999", 0, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.text + "\"");
        try {
            EXPECT_EQ(c.value, ToInt32(c.text));
            EXPECT_EQ(0, c.error);
        } catch (const AppError& error) {
            EXPECT_EQ(c.error, error.Number());
        }
    }
}

TEST(RunValuesTest, CheckedArithmeticRaisesOverflow) {
    EXPECT_EQ(INT_MAX, CheckedAdd(INT_MAX - 1, 1));
    EXPECT_EQ(INT_MIN, CheckedSubtract(INT_MIN + 1, 1));
    EXPECT_THROW(CheckedAdd(INT_MAX, 1), AppError);
    EXPECT_THROW(CheckedSubtract(INT_MAX, -1), AppError);
    EXPECT_THROW(CheckedSubtract(0, INT_MIN), AppError);
    try {
        CheckedSubtract(INT_MAX, INT_MIN);
    } catch (const AppError& error) {
        EXPECT_EQ(6, error.Number());
        EXPECT_EQ("Overflow", error.Description());
    }
}

// Shards of ranges and lists, at the 32-bit ends too: every AVE in exactly one shard, in order.
TEST(RunValuesTest, AveSelectionShardsCoverEveryNumberOnce) {
    const auto numbers = [](const AveSelection& selection) {
        std::vector<std::int32_t> out;
        for (std::int64_t i = 0; i < selection.Count(); ++i) out.push_back(selection.At(i));
        return out;
    };
    EXPECT_EQ((std::vector<std::int32_t>{2, 5}), numbers(AveSelection::Range(1, 7).Shard(2, 3)));
    EXPECT_EQ((std::vector<std::int32_t>{17, 41}), numbers(AveSelection::List({3, 17, 40, 41}).Shard(2, 2)));
    EXPECT_EQ((std::vector<std::int32_t>{5}), numbers(AveSelection::Range(1, 9).Shard(2, 3).Shard(2, 2)));
    EXPECT_EQ(0, AveSelection::Range(2, 1).Count());
    EXPECT_EQ(0, AveSelection::Range(1, 3).Shard(4, 3).Count());
    EXPECT_EQ(0, AveSelection::Range(1, 3).Shard(5, 9).Count());
    EXPECT_EQ((std::vector<std::int32_t>{INT_MIN}), numbers(AveSelection::Range(INT_MIN, INT_MAX).Shard(1, INT64_MAX)));
    EXPECT_EQ(4294967296LL, AveSelection::Range(INT_MIN, INT_MAX).Count());
    const AveSelection last = AveSelection::Range(INT_MIN, INT_MAX).Shard(4, 4);
    EXPECT_EQ(INT_MAX, last.At(last.Count() - 1));
    std::vector<std::int32_t> all;
    for (int k = 1; k <= 4; ++k) {
        const auto shard = numbers(AveSelection::Range(1, 10).Shard(k, 4));
        all.insert(all.end(), shard.begin(), shard.end());
    }
    std::sort(all.begin(), all.end());
    EXPECT_EQ(numbers(AveSelection::Range(1, 10)), all);
}

TEST(RunValuesTest, ExitCodeForWhoeverStartedTheRun) {
    const auto pass = [](PassOutcome outcome, long exitCode) {
        PassRecord record;
        record.Outcome = outcome;
        record.ExitCode = exitCode;
        return record;
    };
    struct Case {
        const char* name;
        RunResult result;
        int exitCode;
    };
    const PassRecord passed = pass(PassOutcome::Exited, 0);
    const Case cases[] = {
        {"every pass returned 0", {{passed, passed}, true, false, {}}, 0},
        {"no pass at all (stop below start)", {{}, true, false, {}}, 0},
        {"a script returned 1", {{passed, pass(PassOutcome::Exited, 1)}, true, false, {}}, 1},
        {"a pass timed out", {{pass(PassOutcome::TimedOut, 0)}, true, false, {}}, 1},
        {"one script of two could not start", {{passed, pass(PassOutcome::CouldNotStart, 0)}, true, false, {580}}, 1},
        {"no script could start", {{pass(PassOutcome::CouldNotStart, 0)}, true, false, {580}}, 2},
        {"a failed step", {{passed}, true, false, {380, 580}}, 2},
        {"stopped", {{pass(PassOutcome::Stopped, 0)}, true, true, {}}, 2},
        {"ended while preparing", {{}, false, false, {}}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.exitCode, ExitCodeOf(c.result));
    }
}

TEST(RunValuesTest, AveNamesAndArchivePaths) {
    EXPECT_EQ("Ave007", AveName(7));
    EXPECT_EQ("Ave042", AveName(42));
    EXPECT_EQ("Ave1234", AveName(1234));
    EXPECT_EQ("Ave000", AveName(0));
    EXPECT_EQ("Ave-005", AveName(-5));
    EXPECT_EQ("Ave-2147483648", AveName(INT_MIN));
    EXPECT_EQ("D:\\AVES\\Ave007\\Ave007.ach", ArchivePath("D:\\AVES\\", 7));
    EXPECT_EQ("\"C:\\\\Files\\KavroTestScript1.vbs\"", ScriptCommand("C:\\"));
    EXPECT_EQ("\"D:\\Tools\\Files\\KavroTestScript1.vbs\"", ScriptCommand("D:\\Tools"));
}

// The testing folder opened from its root and judged by the identity of that handle: every
// spelling of a folder the run needs is that folder, and a link on the way is refused outright.
TEST(RunValuesTest, DeletionRefusalJudgesTheOpenedFolderByIdentity) {
    test::ScratchFolder scratch;
    for (const char* folder : {"work\\Ave\\Ave001", "kavro\\Bin", "tools\\Files\\t", "tools\\other", "work2"}) {
        test::MakeFolder(scratch / folder);
    }
    const test::HostSymlink link(scratch / "work\\Ave", scratch / "linked");
    const test::HostSymlink drive = test::HostSymlink::Drive(scratch.Path(), 'T');
    ASSERT_TRUE(link.Made() && drive.Made()) << link.Problem() << drive.Problem();
    wchar_t shortName[MAX_PATH] = {};
    ASSERT_NE(0u, GetShortPathNameW(Utf8ToWide(scratch / "work\\Ave").c_str(), shortName, MAX_PATH));
    const NeededFolders needed{Utf8ToWide(scratch / "work\\Ave"), Utf8ToWide(scratch / "kavro\\Bin"),
                               Utf8ToWide(scratch / "tools")};
    struct Case {
        std::string testing;
        const char* clause;  // nullptr: it may be deleted
    };
    const Case cases[] = {
        {scratch / "work\\Ave", "it is the AVE folder."},
        {WideToUtf8(shortName), "it is the AVE folder."},
        {"T:\\work\\Ave", "it is the AVE folder."},
        {scratch / "work", "it contains the AVE folder "},
        {scratch / "work\\Ave\\Ave001", "it lies inside the AVE folder "},
        {scratch / "kavro", "it contains the installation folder "},
        {scratch / "tools", "it is the program's own folder."},
        {scratch / "tools\\Files", "it is the program's Files folder."},
        {scratch / "tools\\Files\\t", "it lies inside the program's Files folder "},
        {scratch / "linked", "linked is a link to "},
        {scratch / "linked\\Ave001", "linked is a link to "},
        {"C:\\", "it is the root of a drive."},
        {"C:\\windows\\system32", "it lies inside the Windows folder "},
        {scratch / "work2", nullptr},
        {scratch / "tools\\other", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.testing);
        const auto refusal = TestingFolderDeletionRefusal(c.testing, OpenFolderChain(FullPathForm(c.testing).full), needed);
        if (c.clause == nullptr) {
            EXPECT_FALSE(refusal.has_value()) << *refusal;
        } else {
            ASSERT_TRUE(refusal.has_value());
            EXPECT_NE(std::string::npos, refusal->find(c.clause)) << *refusal;
        }
    }
}

}  // namespace
}  // namespace orlenta
