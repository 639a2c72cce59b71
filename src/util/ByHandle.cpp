// Files reached by handle, never by path text.
#include "util/ByHandle.h"

#include <atomic>
#include <cstring>

#include <winternl.h>

#include "util/Text.h"

extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE FileHandle, HANDLE Event, PVOID ApcRoutine, PVOID ApcContext,
                                               PIO_STATUS_BLOCK IoStatusBlock, PVOID FileInformation, ULONG Length,
                                               FILE_INFORMATION_CLASS FileInformationClass, BOOLEAN ReturnSingleEntry,
                                               PUNICODE_STRING FileName, BOOLEAN RestartScan);

namespace orlenta {

namespace {

// FileIdBothDirectoryInformation: the record of FILE_ID_BOTH_DIR_INFO.
constexpr auto kIdBothDirectoryInformation = static_cast<FILE_INFORMATION_CLASS>(37);

ListedEntry EntryOf(const FILE_ID_BOTH_DIR_INFO& info) {
    // The reparse tag stands in EaSize for entries that are reparse points.
    const bool reparse = (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    return {std::wstring(info.FileName, info.FileNameLength / sizeof(wchar_t)), info.FileAttributes,
            reparse ? info.EaSize : 0, info.FileId.QuadPart};
}

// FileDispositionInfoEx and the flags of FILE_DISPOSITION_INFO_EX (Windows 10 1809 and later),
// which the headers offer only to programs that require that version.
constexpr auto kFileDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr DWORD kDispositionDelete = 0x1;
constexpr DWORD kDispositionPosixSemantics = 0x2;
constexpr DWORD kDispositionIgnoreReadOnly = 0x10;
// Systems before 1809, file systems without POSIX semantics and Wine 8 refuse the call itself.
std::atomic<bool> g_extendedDisposition{true};

}  // namespace

bool ListByHandle(HANDLE folder, std::vector<ListedEntry>& entries) {
    std::vector<LONGLONG> buffer(64 * 1024 / sizeof(LONGLONG));
    FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
    for (;;) {
        if (!GetFileInformationByHandleEx(folder, kind, buffer.data(), static_cast<DWORD>(buffer.size() * sizeof(LONGLONG)))) {
            return GetLastError() == ERROR_NO_MORE_FILES;
        }
        kind = FileIdBothDirectoryInfo;
        const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());
        for (;;) {
            const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes);
            ListedEntry entry = EntryOf(*info);
            if (entry.name != L"." && entry.name != L"..") {
                entries.push_back(std::move(entry));
            }
            if (info->NextEntryOffset == 0) {
                break;
            }
            bytes += info->NextEntryOffset;
        }
    }
}

std::optional<ListedEntry> LookUpEntry(HANDLE folder, const std::wstring& name) {
    std::vector<LONGLONG> buffer((sizeof(FILE_ID_BOTH_DIR_INFO) + 520 * sizeof(wchar_t)) / sizeof(LONGLONG) + 1);
    UNICODE_STRING mask;
    mask.Buffer = const_cast<wchar_t*>(name.c_str());
    mask.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    mask.MaximumLength = mask.Length;
    IO_STATUS_BLOCK status{};
    // The name as the mask of a fresh scan: the file system matches it against long and short names.
    const NTSTATUS result = NtQueryDirectoryFile(folder, nullptr, nullptr, nullptr, &status, buffer.data(),
                                                 static_cast<ULONG>(buffer.size() * sizeof(LONGLONG)),
                                                 kIdBothDirectoryInformation, TRUE, &mask, TRUE);
    if (result < 0) {
        return std::nullopt;
    }
    return EntryOf(*reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data()));
}

FileHandle OpenRelative(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ULONG options, DWORD& error) {
    UNICODE_STRING objectName;
    objectName.Buffer = const_cast<wchar_t*>(name.c_str());
    objectName.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    objectName.MaximumLength = objectName.Length;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &objectName, OBJ_CASE_INSENSITIVE, folder, nullptr);
    IO_STATUS_BLOCK status{};
    HANDLE handle = nullptr;
    const NTSTATUS result =
        NtCreateFile(&handle, access | SYNCHRONIZE | FILE_READ_ATTRIBUTES, &attributes, &status, nullptr, 0,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                     options | FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT | FILE_SYNCHRONOUS_IO_NONALERT,
                     nullptr, 0);
    if (result < 0) {
        error = RtlNtStatusToDosError(result);
        return FileHandle();
    }
    return FileHandle(handle);
}

bool HandleId(HANDLE handle, LONGLONG& id) {
    IO_STATUS_BLOCK status{};
    LARGE_INTEGER index{};
    if (NtQueryInformationFile(handle, &status, &index, sizeof index, FileInternalInformation) < 0) {
        return false;
    }
    id = index.QuadPart;
    return true;
}

DWORD HandleAttributes(HANDLE handle) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    return GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) ? tag.FileAttributes : 0;
}

std::wstring ObjectName(HANDLE handle) {
    std::vector<LONGLONG> buffer(4096);
    ULONG needed = 0;
    NTSTATUS status = NtQueryObject(handle, ObjectNameInformation, buffer.data(),
                                    static_cast<ULONG>(buffer.size() * sizeof(LONGLONG)), &needed);
    if (status < 0 && needed > buffer.size() * sizeof(LONGLONG)) {
        buffer.resize(needed / sizeof(LONGLONG) + 1);
        status = NtQueryObject(handle, ObjectNameInformation, buffer.data(),
                               static_cast<ULONG>(buffer.size() * sizeof(LONGLONG)), &needed);
    }
    if (status < 0) {
        return {};
    }
    const auto* name = reinterpret_cast<const OBJECT_NAME_INFORMATION*>(buffer.data());
    return std::wstring(name->Name.Buffer, name->Name.Length / sizeof(wchar_t));
}

void ClearReadOnly(HANDLE handle) {
    FILE_BASIC_INFO basic{};
    if (GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) &&
        (basic.FileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
        basic.FileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
        if (basic.FileAttributes == 0) {
            basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        }
        basic.CreationTime.QuadPart = basic.LastAccessTime.QuadPart = 0;
        basic.LastWriteTime.QuadPart = basic.ChangeTime.QuadPart = 0;
        SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic);
    }
}

DWORD DeleteThroughHandle(HANDLE handle, DWORD listedAttributes, bool keepAttributes) {
    if (g_extendedDisposition) {
        DWORD flags = kDispositionDelete | kDispositionPosixSemantics | kDispositionIgnoreReadOnly;
        if (SetFileInformationByHandle(handle, kFileDispositionInfoEx, &flags, sizeof flags)) {
            return 0;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_INVALID_PARAMETER && error != ERROR_NOT_SUPPORTED && error != ERROR_INVALID_FUNCTION) {
            return error;
        }
        g_extendedDisposition = false;
    }
    if ((listedAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
        if (keepAttributes) {
            return ERROR_ACCESS_DENIED;
        }
        ClearReadOnly(handle);
    }
    FILE_DISPOSITION_INFO disposition{TRUE};
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition) ? 0 : GetLastError();
}

bool BeyondPathLimit(const std::wstring& fullPath) {
    using UnixName = char*(CDECL*)(const wchar_t*);
    static const auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    if (unixName == nullptr) {
        return fullPath.size() >= 32760;
    }
    // Wine's host path: the host folder of the path's drive, then the rest in UTF-8.
    const size_t rootLength = fullPath.size() >= 3 && fullPath[1] == L':' ? 3 : 0;
    const char* root = rootLength != 0 ? unixName(fullPath.substr(0, rootLength).c_str()) : nullptr;
    const size_t hostRoot = root != nullptr ? std::strlen(root) : 0;
    if (root != nullptr) {
        HeapFree(GetProcessHeap(), 0, const_cast<char*>(root));
    }
    return hostRoot + WideToUtf8(fullPath.substr(rootLength)).size() >= 4095;
}

}  // namespace orlenta
