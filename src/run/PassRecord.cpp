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

}  // namespace orlenta
