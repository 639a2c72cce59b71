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
    explicit UnattendedOperator(RunLog& log) : log_(log) {}

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
        if (settings.Nightly.PassTimeLimit.empty()) {
            log_.Line("No time limit: without -TIMEOUT= a pass that hangs will hold the run until it is stopped");
        }
    }

private:
    RunLog& log_;
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

// The AVEs the command line chose in place of the range, or from it: the list, or the AVEs that
// failed or did not run in the rerun file (read before anything was written); then the shard of that.
AveChoice ChosenAves(const NightlyOptions& nightly, const std::optional<std::vector<std::int32_t>>& rerun,
                     const std::optional<AveDurations>& timings) {
    AveChoice choice;
    choice.Timings = timings;
    if (!nightly.AveList.empty()) {
        choice.List = ReadAveList(nightly.AveList).Numbers;
    }
    if (rerun) {
        choice.List = *rerun;
    }
    if (!nightly.Shard.empty()) {
        choice.Shard = ReadShard(nightly.Shard);
    }
    return choice;
}

// The seconds each AVE took by a timings file: an Orlenta history (the median of an AVE's last ten
// passes that ran to their end) or a JUnit file Orlenta wrote (its testcase's time), told apart by
// what the file holds, so its name and spelling count for nothing.
AveDurations TimingsOf(const std::string& file) {
    const PathForm form = FullPathForm(file);
    if (!form.usable()) {
        throw AppError(error_number::kInvalidArgument, ProgramName(),
                       form.refusal.empty() ? "it cannot be made a full path" : form.refusal);
    }
    const FileHandle handle(CreateFileW(ExtendedLengthPath(form.full).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle) {
        throw AppError::FromLastError();
    }
    std::string beginning(100, '\0');
    DWORD read = 0;
    ReadFile(handle.get(), beginning.data(), static_cast<DWORD>(beginning.size()), &read, nullptr);
    beginning.resize(read);
    if (beginning.rfind("SQLite format 3", 0) == 0) {
        if (!IsOrlentaHistoryBytes(beginning)) {
            throw AppError(error_number::kInvalidArgument, ProgramName(), "it is no Orlenta history");
        }
        return HistoryTimings(form.full);
    }
    return JUnitTimingsOf(form.full);
}

// "Planned: shard 2/4 3 h 12 min, the night's total / 4 3 h 11 min": what the deal gave this
// machine against the even share, so the CI server's slowest stage can be told in the morning.
void LogDurationPlan(const AveChoice& choice, const RunSettings& settings, RunLog& log) {
    try {
        const auto plan = choice.DurationPlan(ToInt32(settings.StartIndex), ToInt32(settings.StopIndex));
        if (plan && choice.Shard) {
            log.Line("Planned: shard " + ShardText(*choice.Shard) + " " + DurationText(plan->Shard.Total) + " (" +
                     std::to_string(plan->Shard.Aves.size()) + " AVEs), the night's total / " +
                     std::to_string(choice.Shard->N) + " " + DurationText(plan->NightTotal / static_cast<double>(choice.Shard->N)) +
                     ", dealt by the durations in " + settings.Nightly.TimingsFile);
        }
    } catch (const AppError&) {
        // Numbers that do not read: the run says so at its own step.
    }
}

// "3,6,10-1500", or every number when the list syntax cannot hold them.
std::string NumberList(const std::vector<std::int32_t>& numbers) {
    if (auto compact = AveListText(AveSelection::List(numbers))) {
        return *compact;
    }
    std::string text;
    for (const std::int32_t n : numbers) {
        text += (text.empty() ? "" : ",") + std::to_string(n);
    }
    return text;
}

// A token that names the switch in some form: "-UNATTENDED", "/UNATTENDED", "UNATTEND", "-UNATTENDED=no",
// or misspells it: "-UNATENDED", "-UNATTNEDED", "-NATTENDED", an em dash before "UNATENDED".
bool NamesUnattended(const std::string& upperToken) {
    return upperToken.find("UNATTEND") != std::string::npos || IsNearlyUnattendedSwitch(upperToken);
}

// A merge of the shards' histories runs no pass and needs no folder: what it needs and what it refuses.
std::optional<std::string> MergeCommandLineRefusal(const std::vector<std::string_view>& given, const std::string& files) {
    const auto isGiven = [&](std::string_view name) { return std::find(given.begin(), given.end(), name) != given.end(); };
    if (MergeFileList(files).empty()) {
        return "no shard history in \"-MERGE=" + files + "\"";
    }
    if (!isGiven("-HISTORY=")) {
        return "-MERGE= adds the shards' histories to the history -HISTORY= names: give it";
    }
    for (const char* name : {"-AVES=", "-RERUN=", "-SHARD=", "-START=", "-STOP=", "-TIMINGS=", "-RETRY=", "-TIMEOUT=",
                             "-AUTOSTART", "-JUNIT="}) {
        if (isGiven(name)) {
            return std::string("-MERGE= runs no pass and writes no JUnit file: not with ") + name;
        }
    }
    return std::nullopt;
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
    try {
        log = std::make_unique<RunLog>(logPath, echo);
    } catch (const AppError& error) {
        SayWithoutLog(echo, "The log " + WideToUtf8(logPath) + " cannot be written: " + error.Description());
        return kRefused;
    }
    return MergeShardNight(files, outputs.History, outputs.Report, *log);
}

}  // namespace

std::optional<std::string> UnattendedCommandLineRefusal(std::string_view commandLine) {
    if (std::count(commandLine.begin(), commandLine.end(), '"') % 2 != 0) {
        return "the quotes do not pair up";
    }
    const std::vector<std::string_view> names = CommandLineOptionNames();
    std::vector<std::string_view> seen;
    bool testingGiven = false;
    bool rangeGiven = false;
    bool listGiven = false;
    bool rerunGiven = false;
    bool timingsGiven = false;
    bool shardGiven = false;
    std::optional<std::string> merge;
    std::int64_t start = 1;
    std::int64_t stop = 213;
    std::string rest = TrimSpaces(commandLine);
    while (!rest.empty()) {
        const std::string token = NextToken(rest);
        const std::string upper = ToUpperText(token);
        // A name with a value starts the token; a switch is the whole token, nothing added.
        const auto name = std::find_if(names.begin(), names.end(), [&](std::string_view n) {
            return n.back() == '=' ? upper.rfind(n, 0) == 0 : upper == n;
        });
        if (name == names.end()) {
            return "unknown option \"" + token + "\"" +
                   (NamesUnattended(upper) ? "; did you mean -UNATTENDED?" : "");
        }
        if (std::find(seen.begin(), seen.end(), *name) != seen.end()) {
            return "the option " + std::string(*name) + " is given twice";
        }
        seen.push_back(*name);
        const std::string inside = upper.substr(name->size());
        if (std::any_of(names.begin(), names.end(), [&](std::string_view n) { return inside.find(n) != std::string::npos; })) {
            return "a second option inside \"" + token + "\"";
        }
        const std::string value = token.substr(name->size());
        if (*name == "-TESTING=" || *name == "-LOG=" || *name == "-JUNIT=" || *name == "-AVE=" || *name == "-KAVRO=" ||
            *name == "-RERUN=" || *name == "-HISTORY=" || *name == "-REPORT=" || *name == "-TIMINGS=" ||
            *name == "-MERGE=") {
            if (TrimSpaces(value).empty()) {
                return "no folder or file in \"" + token + "\"";
            }
            if (*name == "-MERGE=") {
                merge = value;
            }
            testingGiven = testingGiven || *name == "-TESTING=";
            rerunGiven = rerunGiven || *name == "-RERUN=";
            timingsGiven = timingsGiven || *name == "-TIMINGS=";
        } else if (*name == "-START=" || *name == "-STOP=") {
            const auto number = ReadWholeNumber(value, INT32_MIN, INT32_MAX, true);
            if (!number) {
                return "no whole 32-bit number in \"" + token + "\"";
            }
            (*name == "-START=" ? start : stop) = *number;
            rangeGiven = true;
        } else if (*name == "-AVES=") {
            const AveListReading list = ReadAveList(value);
            if (!list.Problem.empty()) {
                return list.Problem + " in \"" + token + "\"";
            }
            listGiven = true;
        } else if (*name == "-RETRY=" && !RetriesOf(value)) {
            return "no whole number of retries from 0 to " + std::to_string(kMostRetries) + " in \"" + token + "\"";
        } else if (*name == "-SHARD=" && !(shardGiven = ReadShard(value).has_value())) {
            return "no shard k/n with 1 <= k <= n in \"" + token + "\"";
        } else if (*name == "-TIMEOUT=" && !TimeLimitMinutes(value)) {
            return "no positive whole number of minutes in \"" + token + "\"";
        }
    }
    if (std::find(seen.begin(), seen.end(), std::string_view("-UNATTENDED")) == seen.end()) {
        return "the switch is not written exactly -UNATTENDED, so the run does not know it is unattended";
    }
    if (merge) {
        return MergeCommandLineRefusal(seen, *merge);
    }
    if (!testingGiven) {
        return "-TESTING= must be given: an unattended run deletes an existing testing folder";
    }
    if (rerunGiven && (listGiven || rangeGiven)) {
        return "-RERUN= takes its AVEs from the file: not with -AVES=, -START= or -STOP=";
    }
    if (listGiven && rangeGiven) {
        return "-AVES= takes the place of -START= and -STOP=: give one or the other";
    }
    if (start > stop) {
        return "the start number " + std::to_string(start) + " is above the stop number " + std::to_string(stop);
    }
    if (timingsGiven && !shardGiven) {
        return "-TIMINGS= deals the night's AVEs among its shards: give -SHARD=k/n with it";
    }
    // The deal spells the night's AVEs out, as a list does.
    if (timingsGiven && !listGiven && !rerunGiven && stop - start + 1 > kMostListedAves) {
        return "-TIMINGS= deals at most " + std::to_string(kMostListedAves) + " AVEs, and " + std::to_string(start) +
               " to " + std::to_string(stop) + " are more";
    }
    return std::nullopt;
}

bool MentionsUnattended(std::string_view commandLine) {
    std::string rest = TrimSpaces(commandLine);
    while (!rest.empty()) {
        if (NamesUnattended(ToUpperText(NextToken(rest)))) {
            return true;
        }
    }
    return false;
}

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
int NothingToRerun(const RunSettings& settings, const RunOutputPaths& outputs, RunLog& log) {
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
    try {
        log = std::make_unique<RunLog>(logPath, echo);
    } catch (const AppError& error) {
        SayWithoutLog(echo, "The run log " + WideToUtf8(logPath) + " cannot be written: " + error.Description());
        return kRefused;
    }

    if (rerun && rerun->empty()) {
        log->Line("Nothing to rerun: no AVE failed or was left not run in " + settings.Nightly.RerunFile);
        return NothingToRerun(settings, outputs, *log);
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
