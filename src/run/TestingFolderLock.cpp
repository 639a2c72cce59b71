// One run per testing folder, through a named lock every installation on the machine meets.
#include "run/TestingFolderLock.h"

#include <cstdio>

#include <windows.h>

#include "util/AppError.h"
#include "util/ByHandle.h"
#include "util/FileIdentity.h"
#include "util/FolderChain.h"
#include "util/LongPath.h"
#include "util/PathForm.h"
#include "util/Text.h"
#include "util/modFileExists.h"

namespace orlenta {

namespace {

// FNV-1a over the upper-cased name: a fixed length whatever the name, for the lock's own name.
unsigned long long NameHash(std::wstring name) {
    if (!name.empty()) {
        CharUpperBuffW(name.data(), static_cast<DWORD>(name.size()));
    }
    unsigned long long hash = 1469598103934665603ULL;
    for (const wchar_t c : name) {
        hash = (hash ^ static_cast<unsigned long long>(c)) * 1099511628211ULL;
    }
    return hash;
}

// "<volume>-<folder's id>-<hash of the name in it>": the folder it lies in by identity, so every
// spelling of that folder (short names, a second drive letter, a link to it) meets the same lock,
// and the name as that folder stores it, so a short name of the testing folder meets it too.
std::wstring LockName(const std::wstring& fullPath) {
    const std::wstring parent = ParentFolderOf(fullPath);
    std::wstring leaf = LeafOf(fullPath);
    wchar_t key[128] = {};
    const FileHandle folder = parent.empty() ? FileHandle() : OpenToLook(parent);
    auto identity = folder ? IdentityOf(folder.get()) : std::nullopt;
    // The volume is part of the name (every drive's root has the same file ID): under Wine a busy
    // mount manager may leave its serial unknown for a moment.
    for (int attempt = 0; identity && identity->Volume == 0 && attempt < 20; ++attempt) {
        Sleep(50);
        identity = IdentityOf(folder.get());
    }
    if (!identity) {
        // Its folder does not exist yet: the full path itself is all there is to go by.
        std::swprintf(key, 128, L"path-%016llx", NameHash(fullPath));
        return key;
    }
    // A folder that exists is named as its folder lists it (its long name).
    const FileHandle listing(CreateFileW(ExtendedLengthPath(parent).c_str(), FILE_LIST_DIRECTORY | SYNCHRONIZE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (listing) {
        if (const auto entry = LookUpEntry(listing.get(), leaf)) {
            leaf = entry->name;
        }
    }
    unsigned long long id = 0;
    for (std::size_t i = 0; i < identity->Id.size(); ++i) {
        id = (id ^ identity->Id[i]) * 1099511628211ULL;
    }
    std::swprintf(key, 128, L"%016llx-%016llx-%016llx", identity->Volume, id, NameHash(leaf));
    return key;
}

}  // namespace

TestingFolderLock::~TestingFolderLock() {
    if (mutex_) {
        ReleaseMutex(mutex_.get());
    }
}

std::optional<TestingFolderLock> TestingFolderLock::AcquireGiven(const std::string& given, std::string& refusal) {
    const PathForm form = FolderPathForm(AddTrailingBackslash(given));
    if (TrimSpaces(given).empty() || !form.usable()) {
        return TestingFolderLock(KernelHandle());
    }
    return Acquire(given, form.full, refusal);
}

std::optional<TestingFolderLock> TestingFolderLock::Acquire(const std::string& given, const std::wstring& fullPath,
                                                            std::string& refusal) {
    // The global namespace: runs in other sessions (a service, a scheduled task) meet it too.
    const std::wstring name = L"Global\\Orlenta testing folder " + LockName(fullPath);
    KernelHandle mutex(CreateMutexW(nullptr, FALSE, name.c_str()));
    if (!mutex) {
        refusal = "The lock on the testing folder " + AddTrailingBackslash(given) + " cannot be made: " +
                  SystemMessage(GetLastError());
        return std::nullopt;
    }
    // A lock whose holder died is abandoned, and free to take.
    const DWORD taken = WaitForSingleObject(mutex.get(), 0);
    if (taken != WAIT_OBJECT_0 && taken != WAIT_ABANDONED) {
        refusal = "Another run is using the testing folder " + AddTrailingBackslash(given) +
                  " (another installation of this program, or the same one), so this run deletes nothing and runs "
                  "nothing.";
        return std::nullopt;
    }
    return TestingFolderLock(std::move(mutex));
}

}  // namespace orlenta
