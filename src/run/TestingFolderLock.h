// One run per testing folder, whatever installation runs it and however the folder is spelled: a
// named lock keyed by the identity of the folder it lies in and the name it has there.
#pragma once

#include <optional>
#include <string>

#include "util/Handles.h"

namespace orlenta {

class TestingFolderLock {
public:
    // The lock on the testing folder at `fullPath` (which need not exist yet), held until this
    // object goes, also when the process dies. Nothing when another run holds it; `refusal` then
    // says so, naming the folder as `given`.
    static std::optional<TestingFolderLock> Acquire(const std::string& given, const std::wstring& fullPath,
                                                    std::string& refusal);
    // The same for the testing folder as it was given, taken before a run writes anything, so a
    // second run never touches a first run's records either; a text that names no folder locks
    // nothing here (the run refuses it). The run takes it again on the folder it settles on, which
    // the same thread may.
    static std::optional<TestingFolderLock> AcquireGiven(const std::string& given, std::string& refusal);

    ~TestingFolderLock();
    TestingFolderLock(TestingFolderLock&&) noexcept = default;
    TestingFolderLock& operator=(TestingFolderLock&&) noexcept = default;

private:
    explicit TestingFolderLock(KernelHandle mutex) noexcept : mutex_(std::move(mutex)) {}
    KernelHandle mutex_;
};

}  // namespace orlenta
