// The run's failure rule, in one place: each numbered step runs through here.
#pragma once

#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "run/RunOperator.h"
#include "util/AppError.h"

namespace orlenta {

// A failing step is reported as "Description: ..." CR LF "Line No.: n" (unless reports are
// silenced) and the run goes on with the next step.
class StepRunner {
public:
    explicit StepRunner(RunOperator& op) : op_(op) {}

    // Runs one step; false when it failed (a value it was to set keeps what it held).
    template <typename Step>
    bool Do(int line, Step&& step) {
        try {
            std::forward<Step>(step)();
            return true;
        } catch (const AppError& error) {
            Report(line, error.Description());
        } catch (const std::exception& error) {
            Report(line, error.what());
        }
        return false;
    }

    // A test step; when the test itself fails the run goes on under it, as if it had come out true.
    template <typename Condition>
    bool Test(int line, Condition&& condition) {
        bool result = true;
        Do(line, [&] { result = std::forward<Condition>(condition)(); });
        return result;
    }

    // Failures between these two calls are ignored without a report.
    void Silence(bool silent) { silent_ = silent; }

    // The lines whose failures were reported, in order.
    const std::vector<int>& FailedLines() const noexcept { return failedLines_; }

private:
    void Report(int line, const std::string& description) noexcept;

    RunOperator& op_;
    bool silent_ = false;
    std::vector<int> failedLines_;
};

}  // namespace orlenta
