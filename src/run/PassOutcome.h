// How a pass ended; no windows.h, so the history's report can read it natively.
#pragma once

namespace orlenta {

enum class PassOutcome {
    Exited,         // the script ended by itself; its exit code says how its AVE went
    TimedOut,       // it outlasted the time limit and was ended with everything it started
    Stopped,        // the operator (or a stop request) ended it
    CouldNotStart,  // nothing ran; Text holds the system's reason
};

}  // namespace orlenta
