// One run per working folder: two runs in one current directory would overwrite each other's input file.
#pragma once

#include <optional>
#include <string>

#include "util/Handles.h"

namespace orlenta {

class RunFolderLock {
public:
    // The lock on `folder` (a full path, in any letter case), or nothing when another run holds it,
    // in this program or another.
    static std::optional<RunFolderLock> Acquire(const std::string& folder);

private:
    explicit RunFolderLock(KernelHandle mutex) noexcept : mutex_(std::move(mutex)) {}
    KernelHandle mutex_;
};

// The process's current directory, in full.
std::string CurrentFolder();

}  // namespace orlenta
