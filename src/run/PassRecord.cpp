// What the run keeps of each pass.
#include "run/PassRecord.h"

namespace orlenta {

std::string OutcomeText(const PassRecord& record) {
    const std::string notEnded = record.CouldNotBeEnded ? " and could not be ended" : "";
    switch (record.Outcome) {
        case PassOutcome::Exited:
            // The script ended by itself; what it started is what outlasted the wait.
            return "exit code " + std::to_string(record.ExitCode) +
                   (record.CouldNotBeEnded ? ", and what it started could not be ended" : "");
        case PassOutcome::TimedOut: return "timed out" + notEnded;
        case PassOutcome::Stopped: return "stopped" + notEnded;
        case PassOutcome::CouldNotStart: break;
    }
    return "could not start: " + record.Text;
}

bool TriesAgain(const PassRecord& pass, std::int64_t retries) noexcept {
    const bool failed = (pass.Outcome == PassOutcome::Exited && pass.ExitCode != 0) ||
                        pass.Outcome == PassOutcome::CouldNotStart;
    return failed && !pass.CouldNotBeEnded && pass.Attempt <= retries;
}

std::string AttemptsText(const PassRecord& last) {
    std::vector<std::string> attempts;
    for (const PassRecord& earlier : last.EarlierAttempts) {
        attempts.push_back(OutcomeText(earlier) + " (attempt " + std::to_string(earlier.Attempt) + ")");
    }
    attempts.push_back(OutcomeText(last) + " (attempt " + std::to_string(last.Attempt) + ")");
    return JoinedWith(attempts, ", ");
}

std::string LeftRunningText(const PassRecord& record) {
    const std::size_t count = record.LeftRunning.size();
    return "Pass AVE " + std::to_string(record.AveNumber) + " left " + std::to_string(count) +
           (count == 1 ? " process" : " processes") + " running; ended: " + JoinedWith(record.LeftRunning, ", ");
}

std::string JoinedWith(const std::vector<std::string>& texts, const std::string& separator) {
    std::string joined;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        joined += (i == 0 ? "" : separator) + texts[i];
    }
    return joined;
}

}  // namespace orlenta
