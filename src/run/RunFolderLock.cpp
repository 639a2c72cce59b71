// One run per working folder, through a lock file that every instance on every machine sees.
#include "run/RunFolderLock.h"

#include <windows.h>

#include "run/OwnFile.h"
#include "run/RunLog.h"
#include "util/AppError.h"
#include "util/LongPath.h"
#include "util/Text.h"
#include "util/modFileExists.h"

namespace orlenta {

namespace {

constexpr const char* kFields[] = {"Machine: ", "Process: ", "User: ", "Since: "};

std::string LockText() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    const std::string values[] = {ComputerName(), std::to_string(GetCurrentProcessId()), UserName(),
                                  IsoLocalTime(now)};
    std::string text;
    for (size_t i = 0; i < 4; ++i) {
        text += kFields[i] + values[i] + "\r\n";
    }
    return text;
}

// The holder's own lines, read while it keeps the file open: reading must share writing and
// deletion with it.
std::string HolderText(const std::wstring& path) {
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const FileHandle file(CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    char buffer[4096];
    DWORD read = 0;
    if (!file || !ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr)) {
        return {};
    }
    return std::string(buffer, read);
}

std::string Field(const std::string& text, const char* name, const char* unknown) {
    const size_t at = text.find(name);
    if (at == std::string::npos) {
        return unknown;
    }
    const size_t from = at + std::string(name).size();
    return text.substr(from, text.find_first_of("\r\n", from) - from);
}

}  // namespace

std::string ComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &length) ? WideToUtf8(std::wstring_view(name, length)) : "an unknown machine";
}

std::string UserName() {
    wchar_t name[257] = {};
    DWORD length = 257;
    return GetUserNameW(name, &length) && length > 0 ? WideToUtf8(std::wstring_view(name, length - 1)) : "unknown";
}

std::optional<RunFolderLock> RunFolderLock::Acquire(const std::wstring& folder, std::string& refusal) {
    const std::wstring path = (!folder.empty() && folder.back() == L'\\' ? folder : folder + L"\\") +
                              Utf8ToWide(kLockFileName);
    // Reading is shared, writing and deleting are not: a second run's opening of the same file fails
    // while this one holds it, and nobody can move the lock away and put another file at its name
    // for the delete-on-close to meet.
    constexpr DWORD kAccess = GENERIC_READ | GENERIC_WRITE | DELETE;
    constexpr DWORD kShare = FILE_SHARE_READ;
    for (int attempt = 0; attempt < 3; ++attempt) {
        OwnFileOpening lock = OpenOwnFile(path, kAccess, kShare, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE);
        if (lock.Made) {
            const std::string text = LockText();
            DWORD written = 0;
            WriteFile(lock.File.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
            return RunFolderLock(std::move(lock.File));
        }
        if (!lock.Refusal.empty()) {
            refusal = "The lock file " + WideToUtf8(path) + " " + lock.Refusal;
            return std::nullopt;
        }
        if (lock.File) {
            // Left by a run whose machine stopped: a plain file of one name, deleted through the
            // handle that was checked, and made afresh.
            FILE_DISPOSITION_INFO dispose{TRUE};
            if (!SetFileInformationByHandle(lock.File.get(), FileDispositionInfo, &dispose, sizeof dispose)) {
                refusal = "The lock file " + WideToUtf8(path) + " cannot be made: " + SystemMessage(GetLastError());
                return std::nullopt;
            }
            continue;
        }
        const std::string holder = HolderText(path);
        if (lock.Error == ERROR_SHARING_VIOLATION || !holder.empty()) {
            refusal = "Another run is using " + WideToUtf8(folder) + ": " + Field(holder, kFields[0], "an unknown machine") +
                      ", process " + Field(holder, kFields[1], "unknown") + ", since " +
                      Field(holder, kFields[3], "an unknown time") + ".";
        } else {
            refusal = "The lock file " + WideToUtf8(path) + " cannot be made: " + SystemMessage(lock.Error);
        }
        return std::nullopt;
    }
    refusal = "The lock file " + WideToUtf8(path) + " cannot be made: it comes back each time it is deleted.";
    return std::nullopt;
}

std::wstring CurrentFolder() {
    std::wstring folder(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data());
        if (length < folder.size()) {
            folder.resize(length);
            return folder;
        }
        folder.resize(length);
    }
}

}  // namespace orlenta
