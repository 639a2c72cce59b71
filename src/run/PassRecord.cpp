// What the run keeps of each pass.
#include "run/PassRecord.h"

namespace orlenta {

std::string OutcomeText(const PassRecord& record) {
    switch (record.Outcome) {
        case PassOutcome::Exited: return "exit code " + std::to_string(record.ExitCode);
        case PassOutcome::TimedOut: return "timed out";
        case PassOutcome::Stopped: return "stopped";
        case PassOutcome::CouldNotStart: break;
    }
    return "could not start: " + record.Text;
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
