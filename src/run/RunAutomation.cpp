// One complete test run, as a fixed sequence of numbered steps.
#include "run/RunAutomation.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include <windows.h>

#include "run/AveSelection.h"
#include "run/InputFile.h"
#include "run/RunFolders.h"
#include "run/RunValues.h"
#include "run/StepRunner.h"
#include "run/TestingFolderLock.h"
#include "run/TestingFolderReset.h"
#include "util/AppError.h"
#include "util/AppPaths.h"
#include "util/Text.h"
#include "util/clsTextFile.h"
#include "util/LongPath.h"
#include "util/PathForm.h"
#include "util/modFileExists.h"

namespace orlenta {

namespace {

constexpr const char* kPromptCaption = "KavroScript Additional Input";
constexpr long kScriptWindowStyle = 5;  // activated, shown at its current size and position
constexpr long kShowDefault = 10;       // SW_SHOWDEFAULT

// An object the run failed to create: every use of it fails, as an unset object variable would.
template <typename T>
T& Use(const std::unique_ptr<T>& object) {
    if (!object) {
        throw AppError(91, ProgramName(), "Object variable or With block variable not set");
    }
    return *object;
}

// The limit a pass gets: none without "-TIMEOUT=", none (after a word to the operator) for a text
// that is no positive whole number of minutes.
PassLimits LimitsFor(const RunSettings& settings, RunOperator& op) {
    PassLimits limits;
    limits.StopRequested = [&op] { return op.StopRequested(); };
    if (!settings.Nightly.PassTimeLimit.empty()) {
        if (const auto minutes = TimeLimitMinutes(settings.Nightly.PassTimeLimit)) {
            limits.TimeLimit = std::chrono::minutes(*minutes);
        } else {
            op.ShowMessage("The time limit \"" + settings.Nightly.PassTimeLimit +
                           "\" is not a positive whole number of minutes; the passes run without a limit.");
        }
    }
    return limits;
}

// One pass of the script, timed and recorded; a script that cannot start is raised for line 580.
void RunScript(const std::unique_ptr<ScriptShell>& shell, const std::string& command, const PassLimits& limits,
               PassRecord& record) {
    GetLocalTime(&record.Start);
    const auto started = std::chrono::steady_clock::now();
    const auto finish = [&] {
        record.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    };
    try {
        ScriptRun run = Use(shell).RunPass(command, kScriptWindowStyle, limits);
        record.Outcome = run.Outcome;
        record.ExitCode = run.ExitCode;
        record.Windows = std::move(run.Windows);
        record.Pictures = std::move(run.Pictures);
        record.LeftRunning = std::move(run.LeftRunning);
        record.CouldNotBeEnded = run.CouldNotBeEnded;
        finish();
    } catch (const AppError& error) {
        record.Outcome = PassOutcome::CouldNotStart;
        record.Text = error.Description();
        finish();
        throw;
    }
}

}  // namespace

RunResult RunAutomation(const RunSettings& settings, RunOperator& op, const ScriptShellFactory& createShell,
                        const AveChoice& choice) {
    RunResult result;
    op.RunStarted(settings);
    const PassLimits limits = LimitsFor(settings, op);
    // 10: from here on every failure is reported and the run goes on.
    StepRunner step(op);
    const auto ended = [&] {
        result.FailedLines = step.FailedLines();
        result.Stopped = op.StopRequested();
        return result;
    };

    // Every folder is made full once, here; the checks, the prompt, the reset and the input file
    // use that form, and messages name the folder as it was given.
    FolderValue ave;
    FolderValue installation;
    FolderValue testing;
    // Texts for the input file and the messages; paths for every check and every deletion.
    std::string aveFolder;
    std::string installationFolder;
    std::string testingFolder;
    std::wstring avePath;
    std::wstring installationPath;
    std::wstring testingPath;
    std::int32_t startNumber = 0;
    std::int32_t stopNumber = 0;
    std::array<bool, kAnalysisTypeCount> flags{};
    std::string inputFile;
    std::string scriptCommand;
    std::unique_ptr<clsTextFile> writer;
    std::vector<std::string> inputHeader;  // lines 1 to 8 of the input file, as written (ANSI)
    std::string passNumbers;               // the numbers of the passes so far, one per line
    std::unique_ptr<ScriptShell> shell;

    step.Do(20, [&] {
        ave = MakeFolderValue(settings.AVEFolder);
        aveFolder = ave.Text();
        avePath = ave.Path();
    });
    step.Do(30, [&] {
        installation = MakeFolderValue(settings.InstallationFolder);
        installationFolder = installation.Text();
        installationPath = installation.Path();
    });
    step.Do(40, [&] {
        testing = MakeFolderValue(settings.TestingFolder);
        testingFolder = testing.Text();
        testingPath = testing.Path();
    });

    if (step.Test(50, [&] { return !FolderExistsAt(avePath); })) {
        step.Do(60, [&] { op.ShowMessage(MissingFolderMessage(ave)); });
        return ended();  // 70
    }
    if (step.Test(80, [&] { return !FolderExistsAt(installationPath); })) {
        step.Do(90, [&] { op.ShowMessage(MissingFolderMessage(installation)); });
        return ended();  // 100
    }
    // A testing folder given as a wildcard, a device or a file would reach the script as a folder.
    if (!testing.form.refusal.empty()) {
        step.Do(40, [&] { op.ShowMessage("The testing folder " + MissingFolderMessage(testing)); });
        return ended();
    }

    step.Do(120, [&] { startNumber = ToInt32(settings.StartIndex); });
    step.Do(130, [&] { stopNumber = ToInt32(settings.StopIndex); });
    for (size_t k = 0; k < flags.size(); ++k) {  // 140 to 160
        step.Do(150, [&] { flags[k] = settings.AVEFilter[k]; });
    }

    step.Do(170, [&] { inputFile = kInputFileName; });
    // Input the script cannot trust (an old file that stays, or a new one never written) runs no
    // pass: the run reports it and goes straight on to its closing steps.
    bool inputIsThisRuns = true;
    if (step.Test(180, [&] { return FileExists(inputFile); })) {
        // A link or a second name at the input file's name: the run touches nothing through it.
        if (const auto refusal = InputFileRefusal()) {
            step.Do(180, [&] { op.ShowMessage(*refusal + " The run ends; nothing was deleted."); });
            return ended();
        }
        inputIsThisRuns = step.Do(180, [&] { DeleteInputFile(); });
    }

    // What the passes will take, known before anything is deleted.
    const AveSelection selection = choice.Take(startNumber, stopNumber);
    std::string testingGiven = testing.given;
    // One run per testing folder, whatever installation or spelling: taken before its reset, or
    // before the passes when nothing is reset, and held to the end of the run.
    std::optional<TestingFolderLock> testingLock;
    const auto lockTestingFolder = [&] {
        std::string refusal;
        testingLock = TestingFolderLock::Acquire(testingGiven, testingPath, refusal);
        if (!testingLock) {
            step.Do(240, [&] { op.ShowMessage(refusal); });
        }
        return testingLock.has_value();
    };
    // The product is looked for before anything is deleted; false when the run ends at line 350.
    bool executableChecked = false;
    const auto checkExecutable = [&] {
        executableChecked = true;
        if (step.Test(330, [&] {
                const std::wstring exe = installationPath + L"KavFrame.exe";
                return installationPath.empty() ||
                       GetFileAttributesW(ExtendedLengthPath(exe).c_str()) == INVALID_FILE_ATTRIBUTES;
            })) {
            step.Do(340, [&] {
                installationFolder = op.InputBox(kExecutablePrompt, kPromptCaption, installationFolder);
            });
            return !installationFolder.empty();  // 350
        }
        return true;
    };

    if (step.Test(190, [&] { return FolderExistsAt(testingPath); })) {
        std::string answer;
        step.Do(200, [&] {
            answer = op.InputBox(
                "Your testing folder already exists. Please either enter a new name or press okay to delete old folder.",
                kPromptCaption, testing.given);
        });
        if (answer.empty()) {
            return ended();  // 210
        }
        FolderValue answered;
        step.Do(220, [&] { answered = MakeFolderValue(answer); });
        if (!answered.form.refusal.empty()) {
            step.Do(220, [&] { op.ShowMessage("The testing folder " + MissingFolderMessage(answered)); });
            return ended();
        }
        // The same folder in another spelling (case, slashes, "." segments, its short name) is the
        // folder itself, decided as the refusals decide it.
        if (step.Test(230, [&] { return IsSameFolder(testingPath, answered.Path()); })) {
            // Nothing is deleted before the run knows it can go on: its product and its script are
            // there, and it has AVEs to run.
            if (!checkExecutable()) {
                return ended();  // 350
            }
            if (const auto missing = ReasonToKeep(testing.given, avePath, selection, createShell)) {
                step.Do(240, [&] { op.ShowMessage(*missing); });
                if (selection.Count() != 0) {
                    return ended();
                }
            } else {
                // Opened once: judged on that handle against the folders the run needs and the
                // system's own, then cleared and removed through it.
                TestingFolderReset reset(testing.given, testingPath,
                                         {avePath, installationPath, ApplicationFolderPath()});
                if (reset.Refusal()) {
                    step.Do(240, [&] { op.ShowMessage(*reset.Refusal()); });
                    return ended();
                }
                if (!lockTestingFolder()) {
                    return ended();
                }
                if (step.Test(240, [&] { return FolderExistsAt(testingPath); })) {
                    std::vector<RemainingEntry> remaining;
                    step.Silence(true);  // 250
                    step.Do(260, [&] { remaining = reset.Clear(); });  // 260 and 270, through the one handle
                    step.Silence(false);  // 280
                    // A folder that stays would mix its old results into the new run: say what
                    // remains and why, delete nothing else, and end before the first pass.
                    if (FolderExistsAt(testingPath)) {
                        if (remaining.empty()) {
                            remaining.push_back({testing.form.full, 0, RemainReason::HeldOpen});
                        }
                        step.Do(280, [&] { op.ShowMessage(TestingFolderNotClearedMessage(testing.given, remaining)); });
                        return ended();
                    }
                }
            }
        }
        step.Do(310, [&] {
            testingFolder = answered.Text();
            testingPath = answered.Path();
            testingGiven = answered.given;
        });
    }

    if (!executableChecked && !checkExecutable()) {
        return ended();  // 350
    }
    if (!testingLock && !testingPath.empty() && !lockTestingFolder()) {
        return ended();
    }

    step.Do(370, [&] { writer = std::make_unique<clsTextFile>(); });
    if (step.Do(380, [&] { Use(writer).OpenTextFileForWrite(inputFile, false); })) {
        const auto writeHeaderLine = [&](const std::string& line) {
            const std::string ansi = InputFileLine(line);
            Use(writer).WriteLine(ansi);
            inputHeader.push_back(ansi);
        };
        step.Do(390, [&] { writeHeaderLine(aveFolder); });
        step.Do(400, [&] { writeHeaderLine(installationFolder); });
        step.Do(410, [&] { writeHeaderLine(testingFolder); });
        for (bool flag : flags) {  // 420 to 440
            step.Do(430, [&] { writeHeaderLine(flag ? "True" : "False"); });
        }
    } else {
        inputIsThisRuns = false;
    }

    // The range is counted as it always was (its overflows reported at lines 460, 550 and 600); a list
    // or a shard is counted by its passes.
    const bool counting = choice.IsPlainRange();
    step.Do(450, [&] { op.SetProgressMinimum(0); });
    step.Do(460, [&] {
        op.SetProgressMaximum(counting ? CheckedAdd(CheckedSubtract(stopNumber, startNumber), 1)
                                       : CheckedInt32(selection.Count()));
    });
    step.Do(470, [&] { op.SetProgressValue(0); });
    step.Do(480, [&] { shell = createShell(); });
    step.Do(490, [&] { scriptCommand = ScriptCommand(ApplicationFolder()); });
    step.Do(500, [&] { op.EnableControls(false); });
    result.ReachedPasses = true;
    op.PassesPlanned(selection);

    // One pass of an AVE, lines 520 to 590; false when no pass may follow it (its input file could
    // not be written afresh, or what it started could not be ended).
    const std::int64_t retries = RetriesOf(settings.Nightly.Retries).value_or(0);
    std::vector<PassRecord> toRetry;  // the first attempts' failures, in the order they ran
    const auto runPass = [&](std::int32_t n, std::int64_t ordinal, std::int64_t attempt,
                             const std::function<long()>& progress) {
        std::string aveName;
        PassRecord record;
        record.AveNumber = n;
        record.Ordinal = ordinal;
        record.Attempt = attempt;
        step.Do(520, [&] { aveName = AveName(n); });
        step.Do(530, [&] {
            record.ArchivePath = AddTrailingBackslash(aveFolder) + aveName + "\\" + aveName + ".ach";
            op.SetStatusText(record.ArchivePath);
        });
        step.Do(540, [&] { op.RefreshStatus(); });
        if (progress) {
            step.Do(550, [&] { op.SetProgressValue(progress()); });
        }
        // An input file that cannot be written afresh holds what the last script left in it: the
        // pass would run on that, so it and the rest are not run.
        if (!step.Do(560, [&] {
                passNumbers += (passNumbers.empty() ? "" : "\r\n") + std::to_string(n);
                WriteInputFile(Use(writer), inputHeader, passNumbers);
            })) {
            return false;
        }
        step.Do(570, [&] { Use(writer).CloseTextFile(); });
        op.PassStarted(record);
        PassLimits passLimits = limits;
        const std::wstring pictures = op.PicturesFolder();
        passLimits.PicturePrefix = pictures.empty() ? L"" : pictures + L"\\" + Utf8ToWide(aveName) + L"-";
        // The exit code is recorded, never reported: a script that returns 1 has said its AVE failed.
        step.Do(580, [&] { RunScript(shell, scriptCommand, passLimits, record); });
        result.Passes.push_back(record);
        op.PassEnded(record);
        if (TriesAgain(record, retries)) {
            toRetry.push_back(record);
        }
        // What could not be ended may still hold the input file and the testing folder.
        return !record.CouldNotBeEnded;
    };

    // 510 to 600: the counter is compared with the end of the selection before each pass; advancing
    // a range's counter past the largest 32-bit number ends the loop.
    // Stale input and a stop request both skip the passes still to come; the closing steps run as usual.
    bool goOn = inputIsThisRuns;
    for (std::int64_t index = 0; goOn && index < selection.Count() && !op.StopRequested();) {
        const std::int32_t n = selection.At(index);
        goOn = runPass(n, index + 1, 1, [&] {
            return counting ? CheckedSubtract(n, startNumber) : CheckedInt32(index);
        });
        if (goOn && !step.Do(600, [&] {
                if (counting) {
                    CheckedAdd(n, 1);
                }
                ++index;
            })) {
            break;
        }
    }
    // The retries, once every AVE has had its first pass: a licence server that was down for a
    // minute is back by then. Each round takes the AVEs whose last attempt failed, in the order
    // they first ran; the input file goes on growing, this AVE again last.
    while (goOn && !toRetry.empty() && !op.StopRequested()) {
        const std::vector<PassRecord> round = std::move(toRetry);
        toRetry.clear();
        for (const PassRecord& failed : round) {
            if (!goOn || op.StopRequested()) {
                break;
            }
            goOn = runPass(failed.AveNumber, failed.Ordinal, failed.Attempt + 1, {});
        }
    }

    step.Do(610, [&] { Use(writer).CloseTextFile(); });
    step.Do(620, [&] { shell.reset(); });
    if (step.Test(630, [&] { return FileExists(inputFile); })) {
        step.Do(630, [&] { DeleteInputFile(); });
    }
    step.Do(640, [&] { op.OpenDocument("Open", testingFolder + "TestResults.htm", "", "", kShowDefault); });
    step.Do(650, [&] { op.SetStatusText(""); });
    step.Do(660, [&] { op.SetProgressValue(0); });
    step.Do(670, [&] { op.EnableControls(true); });
    return ended();
}  // 680

}  // namespace orlenta
