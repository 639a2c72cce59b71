// What a clearing walk left in place, and why; no windows.h, so the plain path helpers that name it
// compile natively.
#pragma once

#include <string>

namespace orlenta {

// Why an entry is still there after a clearing walk.
enum class RemainReason {
    SystemError,     // the system refused: `error` holds its code
    DotName,         // a folder whose name begins with a full stop, kept on purpose
    HeldOpen,        // its deletion was accepted, but another program holds it open
    InUse,           // a folder another program holds without sharing its deletion (its current folder, say)
    Changed,         // it was replaced, or appeared, while the walk ran
    LinkKept,        // a link the system would only delete through its target, so it was left alone
    Unchecked,       // the system did not say what its handle reaches, so it may be such a link
    TooDeep,         // its path is longer than the system can delete by
    NotReached,      // the walk could not enter the folder above it
    LinkedReadOnly,  // a read-only file with other names: clearing its mark would change them too
};

// An entry that a clearing walk left in place, and why.
struct RemainingEntry {
    std::wstring path;    // full path, without the "\\?\" prefix
    unsigned long error;  // the system's error code for SystemError, else 0
    RemainReason reason = RemainReason::SystemError;
};

}  // namespace orlenta
