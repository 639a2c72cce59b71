// Clearing a folder by handle: everything below the folder is reached relative to its parent's
// open handle, never by path text, so no link, mount point or replaced entry leads outside it.
#pragma once

#include <string>
#include <vector>

namespace orlenta {

// Why an entry is still there after a clearing walk.
enum class RemainReason {
    SystemError,  // the system refused: `error` holds its code
    DotName,      // a folder whose name begins with a full stop, kept on purpose
    HeldOpen,     // its deletion was accepted, but another program holds it open
    Changed,      // it was replaced, or appeared, while the walk ran
    LinkKept,     // a link the system would only delete through its target, so it was left alone
    Unchecked,    // the system did not say what its handle reaches, so it may be such a link
};

// An entry that a clearing walk left in place, and why.
struct RemainingEntry {
    std::wstring path;    // full path, without the "\\?\" prefix
    unsigned long error;  // the system's error code for SystemError, else 0
    RemainReason reason = RemainReason::SystemError;
};

// Deletes everything below the folder (a full path), leaving the folder itself, and names what is
// still there afterwards, as listed again: a folder is named only when nothing below it is. A
// folder that is itself a link is not walked and is named with LinkKept; a missing folder or a file
// ends the walk without effect. Nothing is renamed or moved, so a walk killed at any moment leaves
// a part of the original tree at its original paths.
std::vector<RemainingEntry> ClearFolderByHandle(const std::wstring& fullFolderPath);

}  // namespace orlenta
