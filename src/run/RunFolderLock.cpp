// One run per working folder, through a named object that every instance on the machine sees.
#include "run/RunFolderLock.h"

#include <cstdint>
#include <cstdio>

#include <windows.h>

#include "util/Text.h"

namespace orlenta {

namespace {

// A folder's path may be longer than an object name may be, and holds backslashes that a name may
// not: the name carries a hash of the path in lower case instead.
std::string ObjectName(const std::string& folder) {
    std::uint64_t hash = 14695981039346656037ULL;  // FNV-1a
    for (const char c : ToLowerText(folder)) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    }
    char name[64];
    std::snprintf(name, sizeof name, "Global\\Orlenta.run.%016llx", static_cast<unsigned long long>(hash));
    return name;
}

}  // namespace

std::optional<RunFolderLock> RunFolderLock::Acquire(const std::string& folder) {
    const std::string name = ObjectName(folder);
    SetLastError(ERROR_SUCCESS);
    KernelHandle mutex(CreateMutexA(nullptr, FALSE, name.c_str()));
    const DWORD created = GetLastError();
    // Already there, or made by another user and closed to us: either way another run has it.
    if (!mutex || created == ERROR_ALREADY_EXISTS) {
        return std::nullopt;
    }
    return RunFolderLock(std::move(mutex));
}

std::string CurrentFolder() {
    std::string folder(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(folder.size()), folder.data());
        if (length < folder.size()) {
            folder.resize(length);
            return folder;
        }
        folder.resize(length);
    }
}

}  // namespace orlenta
