// An operator that records the run in its history and writes the morning report at its end.
#include "history/HistoryOperator.h"

#include <algorithm>

#include <sqlite3.h>
#include <windows.h>
#include <wincrypt.h>

#include "history/MorningReport.h"
#include "history/NightFindings.h"
#include "run/ReportingOperator.h"
#include "run/RunFolderLock.h"
#include "run/RunValues.h"
#include "util/AppError.h"
#include "util/FileIdentity.h"
#include "util/Handles.h"
#include "util/LongPath.h"
#include "util/PathForm.h"
#include "util/Text.h"
#include "util/WholeFile.h"

namespace orlenta {

namespace {

constexpr const wchar_t* kDefaultHistoryName = L"Orlenta-history.db";
constexpr unsigned long kReportPatienceMs = 2000;

std::string NowText() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return IsoLocalTime(now);
}

// The file's bytes when it is no larger than `most`; otherwise nothing, with the reason.
std::optional<std::string> ReadPicture(const std::string& path, unsigned long long most, std::string& note) {
    const FileHandle file(CreateFileW(ExtendedLengthPath(Utf8ToWide(path)).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size)) {
        note = "not in the report: it cannot be read";
        return std::nullopt;
    }
    if (static_cast<unsigned long long>(size.QuadPart) > most) {
        note = "not in the report, which carries at most " + std::to_string(kMostPicturesBytes >> 20) +
               " MB of pictures, " + std::to_string(kMostPictureBytes >> 20) + " MB each";
        return std::nullopt;
    }
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() && (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                           read != bytes.size())) {
        note = "not in the report: it cannot be read";
        return std::nullopt;
    }
    return bytes;
}

// A reason as a sentence of a log line, whatever punctuation its source gave it.
std::string Sentence(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    if (!text.empty() && text.back() != '.') {
        text += '.';
    }
    return text;
}

// The pass with its pictures' bytes, as the history keeps them (each at most kMostPictureBytes).
HistoryPass WithPictures(HistoryPass pass, const std::vector<std::string>& pictures) {
    for (size_t i = 0; i < pass.Windows.size() && i < pictures.size(); ++i) {
        std::string note;
        if (!pictures[i].empty()) {
            pass.Windows[i].PictureData = ReadPicture(pictures[i], kMostPictureBytes, note).value_or("");
        }
    }
    return pass;
}

bool IsHistoryOfOurs(const std::string& beginning) { return IsOrlentaHistoryBytes(beginning); }
bool IsReportOfOurs(const std::string& beginning) { return IsOrlentaReportText(beginning); }

}  // namespace

HistoryOperator::HistoryOperator(RunOperator& inner, RunLog* log, std::wstring historyPath, std::wstring reportPath)
    : ForwardingOperator(inner), log_(log), historyPath_(std::move(historyPath)), reportPath_(std::move(reportPath)) {}

void HistoryOperator::Say(const std::string& text) {
    if (log_ != nullptr) {
        log_->Line(text);
    } else {
        inner_.ShowMessage(text);
    }
}

void HistoryOperator::RunStarted(const RunSettings& settings) {
    night_ = {};
    night_.Started = NowText();
    night_.Machine = ComputerName();
    night_.User = UserName();
    night_.AveFolder = settings.AVEFolder;
    night_.InstallationFolder = settings.InstallationFolder;
    night_.TestingFolder = settings.TestingFolder;
    night_.AnalysisTypes = AnalysisTypesText(settings);
    night_.Aves = AvesText(settings);
    night_.Shard = settings.Nightly.Shard;
    night_.TimeLimitMinutes = TimeLimitMinutes(settings.Nightly.PassTimeLimit);
    night_.Retries = RetriesOf(settings.Nightly.Retries);
    // The same in the history and in the fallback file, so the run is known as one wherever it lies.
    night_.Uid = NewRunUid();
    startTick_ = GetTickCount64();
    tonight_.clear();
    pictures_.clear();
    written_ = 0;
    plannedWritten_ = false;
    endWritten_ = false;
    history_.reset();
    stale_ = false;
    writtenTo_.reset();
    givenUp_ = false;
    readable_ = true;
    sayOpened_ = complainedOpen_ = complainedWrite_ = false;
    Write();
    inner_.RunStarted(settings);
}

bool HistoryOperator::Reach() {
    if (history_ && !stale_) {
        return true;
    }
    history_.reset();
    stale_ = false;
    if (historyPath_.empty() || givenUp_) {
        return false;
    }
    const std::string name = WideToUtf8(historyPath_);
    const auto leaveAlone = [&](const std::string& reason) {
        givenUp_ = true;
        Say("The history " + name + " is left alone: " + Sentence(reason) + " This run's rows go to " +
            WideToUtf8(FallbackHistoryPath(log_ != nullptr ? log_->Path() : L"", historyPath_)) + " at its end.");
        return false;
    };
    const auto notNow = [&](const std::string& reason) {
        if (!complainedOpen_) {
            complainedOpen_ = true;
            Say("The history " + name + " cannot be opened now: " + Sentence(reason) +
                " The run goes on; it tries again at each pass and at its end.");
        }
        sayOpened_ = true;
        return false;
    };
    // Another program may hold the file at the start of the run: what it is, is judged once it can be read.
    std::string reason;
    switch (JudgeHistoryFile(historyPath_, reason)) {
    case HistoryFile::Foreign:
        return leaveAlone(reason);
    case HistoryFile::Unreadable:
        return notNow(reason);
    case HistoryFile::New:
    case HistoryFile::Ours:
        break;
    }
    try {
        history_.emplace(historyPath_);
    } catch (const AppError& error) {
        history_.reset();
        return error.Number() == SQLITE_NOTADB ? leaveAlone(error.Description()) : notNow(error.Description());
    }
    // Rows already in one file are never continued in another that took its place.
    if (writtenTo_ && history_->Identity() != writtenTo_) {
        history_.reset();
        givenUp_ = true;
        Say("The history " + name + " is no longer the file this run wrote to: it was deleted or replaced during "
            "the run.");
        return false;
    }
    if (sayOpened_) {
        sayOpened_ = false;
        Say("The history " + name + " can be used now: the run's rows are written to it.");
    }
    return true;
}

void HistoryOperator::PassesPlanned(const AveSelection& selection) {
    night_.Planned = selection.Count();
    // The time left is estimated from the history: one more chance to open it first.
    Write();
    inner_.PassesPlanned(selection);
}

void HistoryOperator::PassEnded(const PassRecord& record) {
    HistoryPass pass;
    pass.Ordinal = record.Ordinal;
    pass.Attempt = record.Attempt;
    pass.Ave = record.AveNumber;
    pass.Archive = record.ArchivePath;
    pass.Started = IsoLocalTime(record.Start);
    pass.Seconds = record.Seconds;
    pass.Outcome = record.Outcome;
    if (record.Outcome == PassOutcome::Exited) {
        pass.ExitCode = record.ExitCode;
    }
    if (record.Outcome == PassOutcome::CouldNotStart) {
        pass.Reason = record.Text;
    } else if (record.CouldNotBeEnded) {
        pass.Reason = record.Outcome == PassOutcome::Exited ? "what it started could not be ended" : "could not be ended";
    }
    for (size_t i = 0; i < std::max(record.Windows.size(), record.Pictures.size()); ++i) {
        HungWindow window;
        window.Text = i < record.Windows.size() ? record.Windows[i] : "(a window)";
        window.Picture = i < record.Pictures.size() ? record.Pictures[i] : "";
        pass.Windows.push_back(std::move(window));
    }
    for (const std::string& process : record.LeftRunning) {
        pass.LeftRunning.push_back(process);
    }
    tonight_.push_back(std::move(pass));
    pictures_.push_back(record.Pictures);
    Write();
    inner_.PassEnded(record);
}

std::optional<double> HistoryOperator::UsualSeconds(std::int32_t aveNumber) {
    if (history_ && readable_) {
        try {
            return orlenta::UsualSeconds(history_->RecentPasses(aveNumber, kMedianPasses));
        } catch (const AppError&) {
            // A history that cannot be read now gives no estimates; each would wait for it in vain.
            readable_ = false;
        }
    }
    return inner_.UsualSeconds(aveNumber);
}

void HistoryOperator::Write() {
    if (!Reach()) {
        return;
    }
    try {
        if (night_.Id == 0) {
            night_.Id = history_->AddRun(night_, &night_.NightId);
            writtenTo_ = history_->Identity();
            plannedWritten_ = night_.Planned.has_value();
        }
        if (!plannedWritten_ && night_.Planned) {
            history_->SetPlanned(night_.Id, *night_.Planned);
            plannedWritten_ = true;
        }
        for (; written_ < tonight_.size(); ++written_) {
            HistoryPass pass = WithPictures(tonight_[written_], pictures_[written_]);
            pass.RunId = night_.Id;
            history_->AddPass(pass);
        }
        if (!night_.Ended.empty() && !endWritten_) {
            history_->EndRun(night_);
            endWritten_ = true;
        }
    } catch (const AppError& error) {
        // A locked history may take the rows at the next pass; one opened only for reading is opened
        // again then, and may be writable by then. Until then it may still be read.
        stale_ = true;
        if (!complainedWrite_) {
            complainedWrite_ = true;
            Say("The history " + WideToUtf8(historyPath_) + " cannot be written: " + Sentence(error.Description()) +
                " The run goes on; each pass tries again.");
        }
    }
}

bool HistoryOperator::StillTheFileWrittenTo() {
    const auto now = IdentityAt(historyPath_);
    return !writtenTo_ || (now && *now == *writtenTo_);
}

void HistoryOperator::FinishRun(int exitCode) {
    night_.Ended = NowText();
    night_.Seconds = static_cast<double>(GetTickCount64() - startTick_) / 1000.0;
    night_.ExitCode = exitCode;
    Write();
    // A file deleted with its folder may still have taken every write through the handle.
    if (!historyPath_.empty() && !givenUp_ && night_.Id != 0 && !StillTheFileWrittenTo()) {
        givenUp_ = true;
        history_.reset();
        Say("The history " + WideToUtf8(historyPath_) +
            " is no longer the file this run wrote to: it was deleted or replaced during the run.");
    }
    if (!historyPath_.empty() && (givenUp_ || !endWritten_ || written_ < tonight_.size())) {
        WriteFallback();
    }
    if (!reportPath_.empty()) {
        WriteReport();
    }
}

void HistoryOperator::WriteFallback() {
    const std::wstring path = FallbackHistoryPath(log_ != nullptr ? log_->Path() : L"", historyPath_);
    const std::string held =
        givenUp_ || night_.Id == 0
            ? "none of it"
            : "its run's row" + std::string(endWritten_ ? "" : " without its end") + " and " +
                  std::to_string(written_) + " of its " + std::to_string(tonight_.size()) + " passes";
    const std::string missing =
        "This run is not whole in the history " + WideToUtf8(historyPath_) + " (it holds " + held + ")";
    std::string reason;
    try {
        if (IsSameFile(path, historyPath_)) {
            reason = "it is the history itself.";
        } else {
            switch (JudgeHistoryFile(path, reason)) {
            case HistoryFile::Foreign:
            case HistoryFile::Unreadable:
                break;
            case HistoryFile::New:
            case HistoryFile::Ours: {
                HistoryRun run = night_;
                run.Id = 0;
                std::vector<HistoryPass> passes;
                for (size_t p = 0; p < tonight_.size(); ++p) {
                    passes.push_back(WithPictures(tonight_[p], pictures_[p]));
                }
                RunHistory(path).AddWholeRun(run, passes);
                Say(missing + ": the run and its " + std::to_string(tonight_.size()) + " passes are in " +
                    WideToUtf8(path) + ", from where they can be added to the history.");
                return;
            }
            }
        }
    } catch (const AppError& error) {
        reason = error.Description();
    }
    Say(missing + ", and it cannot be written to " + WideToUtf8(path) + " either: " + Sentence(reason) +
        " Its passes are in this log alone.");
}

void HistoryOperator::WriteReport() {
    NightRows rows;
    rows.Runs = {night_};
    rows.Tonight = tonight_;
    for (HistoryPass& pass : rows.Tonight) {
        pass.RunId = night_.Id;
    }
    unsigned long long carried = 0;
    for (size_t p = 0; p < rows.Tonight.size(); ++p) {
        for (size_t w = 0; w < rows.Tonight[p].Windows.size() && w < pictures_[p].size(); ++w) {
            HungWindow& window = rows.Tonight[p].Windows[w];
            if (pictures_[p][w].empty()) {
                continue;  // its picture failed; the window's line says why
            }
            const auto most = std::min(kMostPictureBytes, kMostPicturesBytes - carried);
            if (auto bytes = ReadPicture(pictures_[p][w], most, window.PictureNote)) {
                if (auto text = Base64Of(*bytes)) {
                    carried += bytes->size();
                    window.PictureBase64 = std::move(*text);
                } else {
                    window.PictureNote = "not in the report: it cannot be encoded";
                }
            }
        }
    }
    if (Reach()) {
        try {
            history_->ReadEarlier(rows);
        } catch (const AppError& error) {
            rows.EarlierRuns.clear();
            rows.Earlier.clear();
            Say("The history " + WideToUtf8(historyPath_) + " cannot be read: " + error.Description() +
                " The report tells of this run alone.");
        }
    }
    try {
        ReplaceWholeFile(reportPath_, MorningReportHtml(rows), kReportPatienceMs);
        Say("Morning report: " + WideToUtf8(reportPath_));
    } catch (const AppError& error) {
        Say("The morning report " + WideToUtf8(reportPath_) + " cannot be written: " + error.Description());
    }
}

std::wstring DefaultHistoryPath(const std::wstring& logPath) {
    const std::wstring folder = ParentFolderOf(logPath);
    return (folder.empty() || folder.back() == L'\\' ? folder : folder + L"\\") + kDefaultHistoryName;
}

std::wstring FallbackHistoryPath(const std::wstring& logPath, const std::wstring& historyPath) {
    return (logPath.empty() ? historyPath : logPath) + L".history.db";
}

std::vector<RunOutputFile> HistoryOutputFiles(const std::wstring& historyPath, const std::wstring& reportPath) {
    // A history another program holds at the start is judged when the run can first read it.
    return {{"-HISTORY=", "history", historyPath, IsHistoryOfOurs, true},
            {"-REPORT=", "report", reportPath, IsReportOfOurs}};
}

}  // namespace orlenta
