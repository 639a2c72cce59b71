// The scripting shell that runs the external test script once per AVE number.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "run/PassRecord.h"

namespace orlenta {

// How long a pass may take, and how the run asks it to end early.
struct PassLimits {
    std::optional<std::chrono::milliseconds> TimeLimit;
    // Asked whenever the waiting thread has handled its messages: a stop request arrives as one.
    std::function<bool()> StopRequested;
    // Where the pictures of a hung pass's windows go: this, a number and ".png"; none when empty.
    std::wstring PicturePrefix;
};

struct ScriptRun {
    PassOutcome Outcome = PassOutcome::Exited;
    long ExitCode = 0;
    // What the pass was showing when its limit or a stop ended it, as PassRecord keeps it.
    std::vector<std::string> Windows;
    std::vector<std::string> Pictures;
    // The processes besides the script that were still in the pass's job when it ended.
    std::vector<std::string> LeftRunning;
    // Something of the pass was still running when the run stopped waiting for it, a bound after it
    // ended the pass: it may still hold the pass's files.
    bool CouldNotBeEnded = false;
};

class ScriptShell {
public:
    virtual ~ScriptShell() = default;
    // Starts the command with the given window style; with bWaitOnReturn it returns the exit code
    // after the command has ended. Failures to start are raised as AppError.
    virtual long Run(const std::string& command, long windowStyle, bool bWaitOnReturn) = 0;
    // Why the command could not be started, asked before the run deletes anything; nothing when it
    // could be, or when the shell cannot tell before trying.
    virtual std::optional<std::string> CannotStart(const std::string& /*command*/) { return std::nullopt; }
    // One pass: Run with waiting, within the limits. A shell that knows no limits just runs.
    virtual ScriptRun RunPass(const std::string& command, long windowStyle, const PassLimits&) {
        ScriptRun run;
        run.ExitCode = Run(command, windowStyle, true);
        return run;
    }
};

// Creates the shell for one run; raises AppError when it cannot be created.
using ScriptShellFactory = std::function<std::unique_ptr<ScriptShell>()>;

// The program's own launcher: the command through the file-type association, every process it
// starts held in a job object, the calling thread's messages handled while it waits.
std::unique_ptr<ScriptShell> CreateScriptLauncher();
// The same for runs that nobody watches: a process of a pass that meets an unhandled exception ends
// at once with its exit code, where it would otherwise wait on the system's crash report box.
std::unique_ptr<ScriptShell> CreateNightlyScriptLauncher();

}  // namespace orlenta
