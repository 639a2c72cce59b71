// Files written whole, so a reader (or a run that dies) never finds half of one.
#include "util/WholeFile.h"

#include <windows.h>

#include "util/AppError.h"
#include "util/AppPaths.h"
#include "util/Handles.h"
#include "util/LongPath.h"

namespace orlenta {

namespace {

// Every file write is whole or refused; replacing a file held open without delete sharing fails
// with a sharing violation (or access denied), which may pass when the holder lets go.
void WriteWhole(const std::wstring& path, const std::string& bytes, DWORD disposition) {
    const FileHandle file(CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        throw AppError::FromLastError();
    }
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
        throw AppError::FromLastError();
    }
    if (written != bytes.size()) {
        throw AppError::FromWin32(ERROR_DISK_FULL, ProgramName());
    }
    if (!SetEndOfFile(file.get())) {
        throw AppError::FromLastError();
    }
}

}  // namespace

// Staged beside the file and moved into its place; when the move keeps failing, the file's own
// bytes are replaced (a reader that shares writing sees the new results, not last night's).
void ReplaceWholeFile(const std::wstring& path, const std::string& bytes, unsigned long patienceMs) {
    // A name of this process's own, made new: a file that happens to bear it is never overwritten.
    const std::wstring staging = path + L"." + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    try {
        WriteWhole(staging, bytes, CREATE_NEW);
    } catch (const AppError& error) {
        if (error.Number() == ERROR_FILE_EXISTS) {
            WriteWhole(path, bytes, OPEN_ALWAYS);
            return;
        }
        DeleteFileW(ExtendedLengthPath(staging).c_str());
        throw;
    }
    const ULONGLONG deadline = GetTickCount64() + patienceMs;
    for (;;) {
        if (MoveFileExW(ExtendedLengthPath(staging).c_str(), ExtendedLengthPath(path).c_str(), MOVEFILE_REPLACE_EXISTING)) {
            return;
        }
        if (GetTickCount64() >= deadline) {
            break;
        }
        Sleep(100);  // the holder (a CI agent's reader, an indexer) usually lets go within moments
    }
    DeleteFileW(ExtendedLengthPath(staging).c_str());
    WriteWhole(path, bytes, OPEN_ALWAYS);
}

}  // namespace orlenta
