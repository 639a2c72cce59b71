// The scripting shell that runs the external test script once per AVE number.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace orlenta {

class ScriptShell {
public:
    virtual ~ScriptShell() = default;
    // Starts the command with the given window style; with bWaitOnReturn it returns the exit code
    // after the command has ended. Failures are raised as AppError.
    virtual long Run(const std::string& command, long windowStyle, bool bWaitOnReturn) = 0;
};

// Creates the shell for one run; raises AppError when it cannot be created.
using ScriptShellFactory = std::function<std::unique_ptr<ScriptShell>()>;

// The automation object "WScript.Shell", created by ProgID and called late-bound.
std::unique_ptr<ScriptShell> CreateWScriptShell();

}  // namespace orlenta
