// An operator that records the run in its history and writes the morning report at its end.
#include "history/HistoryOperator.h"

#include <algorithm>

#include <windows.h>

#include "history/MorningReport.h"
#include "history/NightFindings.h"
#include "run/ReportingOperator.h"
#include "run/RunFolderLock.h"
#include "run/RunValues.h"
#include "util/AppError.h"
#include "util/Handles.h"
#include "util/LongPath.h"
#include "util/PathForm.h"
#include "util/Text.h"
#include "util/WholeFile.h"

namespace orlenta {

namespace {

constexpr const wchar_t* kDefaultHistoryName = L"Orlenta-history.db";
// Pictures make the page large; beyond these it names them instead of carrying them.
constexpr unsigned long long kMostPictureBytes = 4ULL << 20;
constexpr unsigned long long kMostPicturesBytes = 16ULL << 20;
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
    startTick_ = GetTickCount64();
    tonight_.clear();
    pictures_.clear();
    unwritten_.clear();
    complained_ = false;
    history_.reset();
    if (!historyPath_.empty()) {
        try {
            history_.emplace(historyPath_);
        } catch (const AppError& error) {
            Say("The history " + WideToUtf8(historyPath_) + " cannot be used: " + error.Description() +
                " The run goes on without it.");
            complained_ = true;
        }
    }
    Write();
    inner_.RunStarted(settings);
}

void HistoryOperator::PassesPlanned(const AveSelection& selection) {
    night_.Planned = selection.Count();
    if (history_ && night_.Id != 0) {
        try {
            history_->SetPlanned(night_.Id, *night_.Planned);
        } catch (const AppError&) {
            // Only the skipped count of the report is missing; the passes are what matters.
        }
    }
    inner_.PassesPlanned(selection);
}

void HistoryOperator::PassEnded(const PassRecord& record) {
    HistoryPass pass;
    pass.Ordinal = record.Ordinal;
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
    tonight_.push_back(pass);
    pictures_.push_back(record.Pictures);
    unwritten_.push_back(std::move(pass));
    Write();
    inner_.PassEnded(record);
}

std::optional<double> HistoryOperator::UsualSeconds(std::int32_t aveNumber) {
    if (history_) {
        try {
            return MedianSeconds(history_->RecentSeconds(aveNumber, kMedianPasses));
        } catch (const AppError&) {
            // A history that cannot be read gives no estimate; the run says so when it writes.
        }
    }
    return inner_.UsualSeconds(aveNumber);
}

void HistoryOperator::Write() {
    if (!history_) {
        return;
    }
    try {
        if (night_.Id == 0) {
            night_.Id = history_->AddRun(night_);
        }
        for (; !unwritten_.empty(); unwritten_.pop_front()) {
            unwritten_.front().RunId = night_.Id;
            history_->AddPass(unwritten_.front());
        }
    } catch (const AppError& error) {
        // A locked history may take the rows at the next pass; a read-only one never will.
        if (!complained_) {
            complained_ = true;
            Say("The history " + WideToUtf8(historyPath_) + " cannot be written: " + error.Description() +
                " The run goes on; each pass tries again.");
        }
    }
}

void HistoryOperator::FinishRun(int exitCode) {
    night_.Ended = NowText();
    night_.Seconds = static_cast<double>(GetTickCount64() - startTick_) / 1000.0;
    night_.ExitCode = exitCode;
    Write();
    if (history_ && night_.Id != 0) {
        try {
            history_->EndRun(night_);
        } catch (const AppError& error) {
            Say("The end of the run is not in the history " + WideToUtf8(historyPath_) + ": " + error.Description());
        }
    }
    if (history_ && !unwritten_.empty()) {
        Say(std::to_string(unwritten_.size()) + " passes of this run are not in the history " +
            WideToUtf8(historyPath_) + ".");
    }
    if (!reportPath_.empty()) {
        WriteReport();
    }
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
                carried += bytes->size();
                window.PictureData = std::move(*bytes);
            }
        }
    }
    if (history_) {
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

std::vector<RunOutputFile> HistoryOutputFiles(const std::wstring& historyPath, const std::wstring& reportPath) {
    return {{"-HISTORY=", "history", historyPath, IsHistoryOfOurs}, {"-REPORT=", "report", reportPath, IsReportOfOurs}};
}

}  // namespace orlenta
