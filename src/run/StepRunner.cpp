// The run's failure rule, in one place.
#include "run/StepRunner.h"

namespace orlenta {

void StepRunner::Report(int line, const std::string& description) noexcept {
    if (silent_) {
        return;
    }
    try {
        failedLines_.push_back(line);
        op_.ShowMessage("Description: " + description + "\r\nLine No.: " + std::to_string(line));
    } catch (...) {
        // A report that cannot be shown must not stop the run that it reports on.
    }
}

}  // namespace orlenta
