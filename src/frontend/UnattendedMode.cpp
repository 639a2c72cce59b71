// Unattended runs: the run reaches nobody but its log and its exit code; nothing is written before
// the command line has passed the strict checks.
#include "frontend/UnattendedMode.h"

#include <algorithm>
#include <cstdint>
#include <memory>

#include <windows.h>

#include "frontend/CodePageText.h"
#include "frontend/CommandLine.h"
#include "frontend/StartUp.h"
#include "frontend/NightlyChoice.h"
#include "frontend/UnattendedCommandLine.h"
#include "frontend/UnattendedStop.h"
#include "history/HistoryOperator.h"
#include "history/NightMerge.h"
#include "history/RunHistory.h"
#include "run/AveChoice.h"
#include "run/JUnitReport.h"
#include "run/JUnitRerun.h"
#include "run/NumberText.h"
#include "run/ReportingOperator.h"
#include "run/RunAutomation.h"
#include "run/RunFolderLock.h"
#include "run/RunLog.h"
#include "run/RunOutputs.h"
#include "run/TestingFolderLock.h"
#include "run/RunValues.h"
#include "util/AppError.h"
#include "util/AppPaths.h"
#include "util/FileIdentity.h"
#include "util/Handles.h"
#include "util/LongPath.h"
#include "util/PathForm.h"
#include "util/Text.h"
#include "util/modFileExists.h"

namespace orlenta {

namespace {

constexpr const wchar_t* kDefaultLogName = L"Orlenta.log";
constexpr int kRefused = 2;
// How long the one JUnit write of a run with nothing to rerun waits for a program that holds the file.
constexpr unsigned long kFinalJUnitPatienceMs = 5000;

// The operator of a run that nobody watches: nothing is shown, and the record of it all is the
// reporting operator's.
class UnattendedOperator final : public RunOperator {
public:
    // `passesToCome`: the run has passes to run, so a night without a time limit is worth a word.
    explicit UnattendedOperator(RunLog& log, bool passesToCome = true) : log_(log), passesToCome_(passesToCome) {}

    void ShowMessage(const std::string&) override {}
    // The testing folder's question is answered as OK on its default would answer it (-TESTING= asked
    // for that folder); another installation folder nobody can name, so the run ends there.
    std::string InputBox(const std::string& prompt, const std::string&, const std::string& defaultAnswer) override {
        return prompt == kExecutablePrompt ? std::string() : defaultAnswer;
    }
    void SetStatusText(const std::string&) override {}
    void RefreshStatus() override {}
    void SetProgressMinimum(long) override {}
    void SetProgressMaximum(long) override {}
    void SetProgressValue(long) override {}
    void EnableControls(bool) override {}
    void OpenDocument(const std::string&, const std::string&, const std::string&, const std::string&, long) override {}
    bool StopRequested() override { return UnattendedStopRequested(); }
    // Said under the settings, so that whoever reads a night that never ended knows why it could not.
    void RunStarted(const RunSettings& settings) override {
        if (passesToCome_ && settings.Nightly.PassTimeLimit.empty()) {
            log_.Line("No time limit: without -TIMEOUT= a pass that hangs will hold the run until it is stopped");
        }
    }

private:
    RunLog& log_;
    bool passesToCome_;
};

// Where the log's lines are echoed: the caller's redirected output, or the console it was started
// from. Returns the handle (owned by `owned` when it was opened here) or null.
HANDLE ConsoleEcho(FileHandle& owned) {
    const bool attached = AttachConsole(ATTACH_PARENT_PROCESS) != FALSE;
    if (attached) {
        SetConsoleCtrlHandler(OnUnattendedConsoleControl, TRUE);
    }
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output != nullptr && output != INVALID_HANDLE_VALUE && GetFileType(output) != FILE_TYPE_UNKNOWN) {
        return output;
    }
    if (attached) {
        // Read access too: asking the console's mode (to write it wide characters) needs it.
        owned.reset(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr));
        return owned ? owned.get() : nullptr;
    }
    return nullptr;
}

// A word for whoever started a run that has no log of its own: the console or redirected output,
// and the Application event log, where Task Scheduler users look.
void SayWithoutLog(HANDLE echo, const std::string& text) {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    WriteEcho(echo, IsoLocalTime(now) + " " + OneLine(text) + "\r\n");
    ReportToEventLog(text);
}

// The run's log, or a word to whoever started it when it cannot be made.
bool OpenLog(const std::wstring& logPath, HANDLE echo, std::unique_ptr<RunLog>& log) {
    try {
        log = std::make_unique<RunLog>(logPath, echo);
        return true;
    } catch (const AppError& error) {
        SayWithoutLog(echo, "The run log " + WideToUtf8(logPath) + " cannot be written: " + error.Description());
        return false;
    }
}

// The merge's path of an unattended command line that passed its checks: its files judged against
// the outputs, the folder's lock, the log, then the merge.
int MergeUnattended(const RunSettings& settings, const RunOutputPaths& outputs, const std::wstring& logPath,
                    const std::wstring& folder, HANDLE echo, std::unique_ptr<RunLog>& log) {
    std::vector<std::wstring> files;
    std::optional<std::string> refusal;
    for (const std::string& file : MergeFileList(settings.Nightly.MergeFiles)) {
        const PathForm form = FullPathForm(file);
        if (!form.usable()) {
            refusal = "the shard history " + file + " cannot be used: " +
                      (form.refusal.empty() ? std::string("it cannot be made a full path") : form.refusal) + ".";
            break;
        }
        // Read after the log is made and the report written: neither may be one of them.
        for (const std::wstring& output : {logPath, outputs.History, outputs.Report}) {
            if (!refusal && !output.empty() && IsSameFile(form.full, output)) {
                refusal = "the shard history " + file + " is also an output of the merge (" + WideToUtf8(output) + ").";
            }
        }
        files.push_back(form.full);
    }
    if (refusal) {
        SayWithoutLog(echo, "Command line refused: " + *refusal + " Nothing merged; exit code 2");
        return kRefused;
    }
    // The default log lies in the program's folder, where a night may be running.
    std::string lockRefusal;
    const auto lock = RunFolderLock::Acquire(folder, lockRefusal);
    if (!lock) {
        SayWithoutLog(echo, lockRefusal + " Nothing merged; exit code 2");
        return kRefused;
    }
    if (!OpenLog(logPath, echo, log)) {
        return kRefused;
    }
    return MergeShardNight(files, outputs.History, outputs.Report, *log);
}

}  // namespace

void ReportToEventLog(const std::string& text) noexcept {
    const HANDLE source = RegisterEventSourceW(nullptr, L"Orlenta");
    if (source == nullptr) {
        return;
    }
    try {
        const std::wstring wide = Utf8ToWide(text);
        const wchar_t* strings[] = {wide.c_str()};
        ReportEventW(source, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 1, 0, strings, nullptr);
    } catch (...) {
        // Out of memory for the text: the entry is lost, the run's exit code still says it.
    }
    DeregisterEventSource(source);
}

namespace {

// A JUnit file of its own then says that nothing ran, so the CI server never reads an earlier run's
// failures under exit code 0; the rerun file itself stays as it is.
int NothingToRerun(const RunSettings& settings, const RunOutputPaths& outputs, const std::wstring& historyPath,
                   RunLog& log) {
    // The history keeps the run that had nothing to do, and its report says so: yesterday's page is
    // never left to be published again.
    if (!outputs.Report.empty()) {
        UnattendedOperator nobody(log, false);
        HistoryOperator history(nobody, &log, historyPath, outputs.Report);
        history.RunStarted(settings);
        history.PassesPlanned(AveSelection());
        history.FinishRun(0);
    }
    const std::wstring& junit = outputs.JUnit;
    const PathForm rerunFile = FullPathForm(settings.Nightly.RerunFile);
    if (!junit.empty() && !IsSameFile(rerunFile.full, junit)) {
        try {
            WriteEmptyJUnitReport(junit, settings, kFinalJUnitPatienceMs);
        } catch (const AppError& error) {
            log.Line("Run ends: nothing deleted, nothing run, JUnit results not written to " + WideToUtf8(junit) + ": " +
                     error.Description() + "; exit code 2");
            return kRefused;
        }
    }
    log.Line("Run ends: nothing deleted, nothing run; exit code 0");
    return 0;
}

int RunUnattendedWithEcho(std::string_view commandLine, HANDLE echo, std::unique_ptr<RunLog>& log) {
    RunSettings settings;
    RunStartUpSequence(settings, commandLine);
    const std::wstring folder = CurrentFolder();
    const std::wstring defaultLog = (folder.empty() || folder.back() == L'\\' ? folder : folder + L"\\") + kDefaultLogName;
    RunOutputPaths outputs;
    const std::optional<std::string> formRefusal = MakeOutputPathsFull(settings.Nightly, outputs);
    const std::wstring logPath = outputs.Log.empty() ? defaultLog : outputs.Log;
    // Without -HISTORY= the history lies beside the log.
    const std::wstring historyPath = !outputs.History.empty() ? outputs.History : DefaultHistoryPath(logPath);

    // Nothing is written, the log included, before the command line has passed every check.
    auto refusal = UnspellableProgramFolderMessage();
    if (!refusal) {
        refusal = UnattendedCommandLineRefusal(commandLine);
    }
    if (!refusal) {
        refusal = formRefusal;
    }
    if (!refusal) {
        refusal = RunOutputRefusal(settings, outputs, {ApplicationFolderPath(), ExecutablePath(), folder, defaultLog},
                                   HistoryOutputFiles(historyPath, outputs.Report));
    }
    // Read before anything is written: the run's own JUnit file may be the same file.
    std::optional<std::vector<std::int32_t>> rerun;
    if (!refusal && !settings.Nightly.RerunFile.empty()) {
        try {
            const PathForm rerunFile = FullPathForm(settings.Nightly.RerunFile);
            if (!rerunFile.usable()) {
                throw AppError(error_number::kInvalidArgument, ProgramName(),
                               rerunFile.refusal.empty() ? "it cannot be made a full path" : rerunFile.refusal);
            }
            rerun = AvesToRerunOf(rerunFile.full);
        } catch (const AppError& error) {
            refusal = "the rerun file " + settings.Nightly.RerunFile + " cannot be used: " + error.Description() + ".";
        }
    }
    // The durations that deal the shards, read before anything is written too.
    std::optional<AveDurations> timings;
    if (!refusal && !settings.Nightly.TimingsFile.empty()) {
        try {
            timings = TimingsOf(settings.Nightly.TimingsFile);
        } catch (const AppError& error) {
            refusal = "the timings file " + settings.Nightly.TimingsFile + " cannot be used: " + error.Description() + ".";
        }
    }
    if (refusal) {
        SayWithoutLog(echo, "Command line refused: " + *refusal + " Nothing deleted, nothing run; exit code 2");
        return kRefused;
    }
    if (!settings.Nightly.MergeFiles.empty()) {
        return MergeUnattended(settings, outputs, logPath, folder, echo, log);
    }

    // Taken before the log is opened, so a second run never touches the first run's log.
    std::string lockRefusal;
    const auto lock = RunFolderLock::Acquire(folder, lockRefusal);
    if (!lock) {
        SayWithoutLog(echo, lockRefusal + " Nothing deleted, nothing run; exit code 2");
        return kRefused;
    }
    const auto testingLock = TestingFolderLock::AcquireGiven(settings.TestingFolder, lockRefusal);
    if (!testingLock) {
        SayWithoutLog(echo, lockRefusal + " Exit code 2");
        return kRefused;
    }
    if (!OpenLog(logPath, echo, log)) {
        return kRefused;
    }

    if (rerun && rerun->empty()) {
        log->Line("Nothing to rerun: no AVE failed or was left not run in " + settings.Nightly.RerunFile);
        return NothingToRerun(settings, outputs, historyPath, *log);
    }
    if (rerun) {
        log->Line("To rerun from " + settings.Nightly.RerunFile + ": " + NumberList(*rerun));
    }

    const StopWindow stopWindow(GetCurrentThreadId());
    UnattendedOperator nobody(*log);
    const AveChoice choice = ChosenAves(settings.Nightly, rerun, timings);
    LogDurationPlan(choice, settings, *log);
    HistoryOperator history(nobody, log.get(), historyPath, outputs.Report);
    ReportingOperator reporter(history, log.get(), outputs.JUnit, choice);
    const RunResult result = RunAutomation(settings, reporter, CreateNightlyScriptLauncher, choice);
    const int exitCode = reporter.FinishRun(result, ExitCodeOf(result));
    history.FinishRun(exitCode);
    // Before the stop window goes: a logoff it holds may end the process from here on.
    UnattendedRecordsFinal(exitCode);
    return exitCode;
}

}  // namespace

int RunUnattended(std::string_view commandLine) noexcept {
    FileHandle ownedEcho;
    HANDLE echo = nullptr;
    std::unique_ptr<RunLog> log;
    int exitCode = kRefused;
    // Nobody is there to dismiss a box: an unexpected failure is written down and ends the run with 2.
    std::string failure;
    try {
        echo = ConsoleEcho(ownedEcho);
        exitCode = RunUnattendedWithEcho(commandLine, echo, log);
    } catch (const AppError& error) {
        failure = error.Description();
    } catch (const std::exception& error) {
        failure = error.what();
    } catch (...) {
        failure = "an unknown failure";
    }
    if (!failure.empty()) {
        exitCode = kRefused;
        const std::string text = "Unexpected failure: " + failure + "; exit code 2";
        if (log) {
            log->Line(text);
        } else {
            SayWithoutLog(echo, text);
        }
    }
    UnattendedRecordsFinal(exitCode);
    return exitCode;
}

}  // namespace orlenta
