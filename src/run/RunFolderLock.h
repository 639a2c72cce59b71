// One run per working folder: two runs in one folder would overwrite each other's input file. The
// lock is a file in the folder itself, so every spelling of the folder and every machine that
// reaches it through a share meet the same lock.
#pragma once

#include <optional>
#include <string>

#include "util/Handles.h"

namespace orlenta {

inline constexpr const char* kLockFileName = "Orlenta.lock";

class RunFolderLock {
public:
    // The lock on `folder`: the file Orlenta.lock in it, held open so that no other process can open
    // it for writing, and deleted when it is closed (also when the process dies). It holds the
    // machine, process id, user and start time. Nothing when another run holds it or it cannot be
    // made; `refusal` then says why ("Another run is using <folder>: <machine>, process <id>,
    // since <time>.").
    static std::optional<RunFolderLock> Acquire(const std::wstring& folder, std::string& refusal);

private:
    explicit RunFolderLock(FileHandle file) noexcept : file_(std::move(file)) {}
    FileHandle file_;
};

// The machine and the user this process runs as, as the lock names them.
std::string ComputerName();
std::string UserName();

// The process's current directory, in full.
std::wstring CurrentFolder();

}  // namespace orlenta
