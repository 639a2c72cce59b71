// A folder opened from its root one component at a time, each relative to the handle of the one
// above and none of them a link, so that the handles reach the folder its path names and nothing
// that replaces a component later can change which folder they are.
#pragma once

#include <string>
#include <vector>

#include "util/ByHandle.h"
#include "util/Handles.h"

namespace orlenta {

struct FolderChain {
    // The root ("C:\", "\\server\share\") first, then each existing component down to the folder.
    std::vector<FileHandle> handles;
    // handles[i + 1]'s entry as handles[i] lists it: its stored name, attributes and file ID.
    std::vector<ListedEntry> entries;
    // The path's components below the root, as given.
    std::vector<std::wstring> components;
    // Why the chain stops short: a component that is a link or that cannot be opened; empty when
    // it reached the folder or a component that does not exist.
    std::string refusal;

    // Every component exists and was opened: handles.back() is the folder.
    bool Complete() const { return refusal.empty() && !handles.empty() && handles.size() == components.size() + 1; }
    // The path of the deepest component reached, by the names its folder stores.
    std::wstring ReachedPath() const;
};

// Opens the root by its path and every component below it relative to the one above, with list
// access and every sharing mode; a component that is a link (a junction, a mount point, a symbolic
// link, or under Wine a Unix link, which opens as its target) stops the chain with a refusal that
// names it. A component that does not exist stops it without one.
FolderChain OpenFolderChain(const std::wstring& fullPath);

}  // namespace orlenta
