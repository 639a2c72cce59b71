// Clearing a folder by handle.
#include "util/FolderWalk.h"

#include <map>

#include <windows.h>
#include <winternl.h>

#include "util/FolderWalkTestHook.h"
#include "util/Handles.h"
#include "util/LongPath.h"

namespace orlenta {

namespace {

std::function<void(const std::wstring&)>& FolderListedHook() {
    static std::function<void(const std::wstring&)> hook;
    return hook;
}

// Junctions, mount points and symbolic links are name surrogates (bit 29 of the tag); folders of
// cloud-synchronised storage carry other tags and are ordinary folders. Wine lists its Unix links
// to folders with the reparse attribute and no tag at all, so a missing tag is a link too.
bool IsLink(DWORD attributes, DWORD tag) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && (tag == 0 || (tag & 0x20000000u) != 0);
}

struct ListedEntry {
    std::wstring name;
    DWORD attributes;
    DWORD tag;
    LONGLONG id;
};

// Every entry of an open folder but "." and ".."; false when it cannot be listed.
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
            std::wstring name(info->FileName, info->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..") {
                // The reparse tag stands in EaSize for entries that are reparse points.
                const bool reparse = (info->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
                entries.push_back({std::move(name), info->FileAttributes, reparse ? info->EaSize : 0,
                                   info->FileId.QuadPart});
            }
            if (info->NextEntryOffset == 0) {
                break;
            }
            bytes += info->NextEntryOffset;
        }
    }
}

// Opens an entry relative to its parent's handle, the reparse point itself rather than its target.
FileHandle OpenRelative(HANDLE parent, const std::wstring& name, ACCESS_MASK access, ULONG options, DWORD& error) {
    UNICODE_STRING objectName;
    objectName.Buffer = const_cast<wchar_t*>(name.c_str());
    objectName.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    objectName.MaximumLength = objectName.Length;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &objectName, OBJ_CASE_INSENSITIVE, parent, nullptr);
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

// The file ID an open handle reaches (the listing's FileId on the same volume). One call: under
// Wine every call on a handle costs in proportion to its depth.
bool HandleId(HANDLE handle, LONGLONG& id) {
    IO_STATUS_BLOCK status{};
    LARGE_INTEGER index{};
    if (NtQueryInformationFile(handle, &status, &index, sizeof index, FileInternalInformation) < 0) {
        return false;
    }
    id = index.QuadPart;
    return true;
}

// The system's own name for what a handle reaches ("\\Device\\...\\name", or under Wine
// "\\??\\C:\\..."); empty when it cannot tell. One call: the DOS form of GetFinalPathNameByHandleW
// asks the mount manager, another process under Wine, for every file.
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

DWORD HandleAttributes(HANDLE handle) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    return GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) ? tag.FileAttributes : 0;
}

// FileDispositionInfoEx and the flags of FILE_DISPOSITION_INFO_EX (Windows 10 1809 and later),
// which the headers offer only to programs that require that version.
constexpr auto kFileDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr DWORD kDispositionDelete = 0x1;
constexpr DWORD kDispositionPosixSemantics = 0x2;
constexpr DWORD kDispositionIgnoreReadOnly = 0x10;

class Walker {
public:
    std::map<std::wstring, RemainingEntry> outcomes;  // by full path: why an entry stays
    std::map<std::wstring, bool> accepted;            // full paths whose deletion the system accepted

    // Deletes through the handle; the deletion happens when the handle closes. 0 or the error.
    DWORD Delete(HANDLE handle, DWORD listedAttributes) {
        if (extendedDisposition_) {
            DWORD flags = kDispositionDelete | kDispositionPosixSemantics | kDispositionIgnoreReadOnly;
            if (SetFileInformationByHandle(handle, kFileDispositionInfoEx, &flags, sizeof flags)) {
                return 0;
            }
            const DWORD error = GetLastError();
            // Systems before 1809, file systems without POSIX semantics and Wine 8 refuse the call
            // itself; anything else is the entry's own answer.
            if (error != ERROR_INVALID_PARAMETER && error != ERROR_NOT_SUPPORTED && error != ERROR_INVALID_FUNCTION) {
                return error;
            }
            extendedDisposition_ = false;
        }
        if ((listedAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
            ClearReadOnly(handle);
        }
        FILE_DISPOSITION_INFO disposition{TRUE};
        return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition)
                   ? 0
                   : GetLastError();
    }

    // Read-only entries inside the confirmed folder are cleared with it: archives copied from a
    // read-only source are read-only, and a read-only folder keeps its entries from being deleted.
    static void ClearReadOnly(HANDLE handle) {
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

    void Keep(const std::wstring& path, DWORD error, RemainReason reason) {
        outcomes[path] = {path, reason == RemainReason::SystemError ? error : 0, reason};
    }

    void Walk(HANDLE top, const std::wstring& topPath);

private:
    bool extendedDisposition_ = true;
};

constexpr ACCESS_MASK kFolderAccess = FILE_LIST_DIRECTORY | DELETE | FILE_WRITE_ATTRIBUTES;
constexpr ACCESS_MASK kEntryAccess = DELETE | FILE_WRITE_ATTRIBUTES;

void Walker::Walk(HANDLE top, const std::wstring& topPath) {
    // The walk keeps its own stack, so the depth of a tree never grows the thread's stack; each
    // folder is listed whole before anything in it is deleted.
    struct Frame {
        FileHandle owned;  // empty for the confirmed folder, which the caller holds
        HANDLE handle;
        std::wstring path;
        std::vector<ListedEntry> entries;
        size_t next = 0;
        DWORD attributes = 0;
        std::wstring finalPath;  // read when the first file is met
        bool finalPathRead = false;
    };
    std::vector<Frame> stack;
    {
        std::vector<ListedEntry> entries;
        if (!ListByHandle(top, entries)) {
            return;
        }
        if (FolderListedHook()) {
            FolderListedHook()(topPath);
        }
        stack.push_back({FileHandle(), top, topPath, std::move(entries), 0, 0, {}, false});
    }
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next == frame.entries.size()) {
            // The confirmed folder itself stays; removing it is the caller's step.
            if (stack.size() > 1) {
                const DWORD error = Delete(frame.handle, frame.attributes);
                if (error != 0) {
                    Keep(frame.path, error, RemainReason::SystemError);
                } else {
                    accepted[frame.path] = true;
                }
            }
            stack.pop_back();
            continue;
        }
        const ListedEntry entry = frame.entries[frame.next++];
        const std::wstring path = frame.path + L"\\" + entry.name;
        const bool folder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const bool link = IsLink(entry.attributes, entry.tag);
        // Folders whose name starts with a full stop are kept whole: they may be kept on purpose.
        if (folder && !link && entry.name[0] == L'.') {
            Keep(path, 0, RemainReason::DotName);
            continue;
        }
        DWORD error = 0;
        const ULONG options = link ? 0 : (folder ? FILE_DIRECTORY_FILE : FILE_NON_DIRECTORY_FILE);
        FileHandle handle = OpenRelative(frame.handle, entry.name, folder && !link ? kFolderAccess : kEntryAccess,
                                         options, error);
        if (!handle) {
            // Gone since the listing is no failure; a folder that became a file, or the reverse,
            // fails the open's kind and stays, named with the system's reason.
            if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
                Keep(path, error, RemainReason::SystemError);
            }
            continue;
        }
        // A file is judged by the path its handle reaches (below); only folders and links are
        // judged by their file ID, which saves a call per file.
        LONGLONG id = entry.id;
        if ((folder || link) && !HandleId(handle.get(), id)) {
            Keep(path, ERROR_ACCESS_DENIED, RemainReason::SystemError);
            continue;
        }
        // An entry replaced since the listing, or a link the platform followed anyway, reaches
        // another file ID: it is neither entered nor deleted.
        if (id != entry.id) {
            Keep(path, 0, link ? RemainReason::LinkKept : RemainReason::Changed);
            continue;
        }
        if (link && (HandleAttributes(handle.get()) & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
            // Wine opens a Unix link's target even when asked for the link: deleting through this
            // handle would act on the target.
            Keep(path, 0, RemainReason::LinkKept);
            continue;
        }
        if (!folder && !link) {
            // Wine lists a Unix link to a file as a plain file and opens its target, with the
            // target's file ID, and deleting through that handle deletes the target. Only the path
            // the handle reaches tells it: it must be this folder's path and the listed name.
            if (!frame.finalPathRead) {
                frame.finalPath = ObjectName(frame.handle);
                if (!frame.finalPath.empty() && frame.finalPath.back() == L'\\') {
                    frame.finalPath.pop_back();
                }
                frame.finalPathRead = true;
            }
            const std::wstring reached = frame.finalPath.empty() ? std::wstring() : ObjectName(handle.get());
            // Unread, it might be such a link: kept, never deleted on trust.
            if (reached.empty()) {
                Keep(path, 0, RemainReason::Unchecked);
                continue;
            }
            if (CompareStringOrdinal(reached.c_str(), -1, (frame.finalPath + L"\\" + entry.name).c_str(), -1, TRUE) !=
                CSTR_EQUAL) {
                Keep(path, 0, RemainReason::LinkKept);
                continue;
            }
        }
        if (!folder || link) {
            error = Delete(handle.get(), entry.attributes);
            if (error != 0) {
                Keep(path, error, RemainReason::SystemError);
            } else {
                accepted[path] = true;
            }
            continue;
        }
        // A read-only folder keeps its entries from being deleted under Wine (its host folder is
        // not writable): clear it before its contents.
        if ((entry.attributes & FILE_ATTRIBUTE_READONLY) != 0) {
            ClearReadOnly(handle.get());
        }
        std::vector<ListedEntry> entries;
        if (!ListByHandle(handle.get(), entries)) {
            // Unreadable: still try to remove it (it may be empty); its error names it if not.
            entries.clear();
        }
        if (FolderListedHook()) {
            FolderListedHook()(path);
        }
        const HANDLE raw = handle.get();
        stack.push_back({std::move(handle), raw, path, std::move(entries), 0, entry.attributes, {}, false});
    }
}

// What is still below the folder, listed again by handle: each entry with nothing remaining below
// it, with the reason the walk knows for it. Its own stack, like the walk's, so a tree the walk could
// not clear at any depth never grows the thread's.
void ListRemaining(HANDLE top, const std::wstring& topPath, const Walker& walker,
                   std::vector<RemainingEntry>& remaining) {
    struct Frame {
        FileHandle owned;
        HANDLE handle;
        std::wstring path;
        std::vector<ListedEntry> entries;
        size_t next = 0;
        size_t before = 0;  // what remained before this folder was entered
    };
    // An entry is named only when nothing below it remains.
    const auto name = [&](const std::wstring& path, size_t before) {
        if (remaining.size() != before) {
            return;
        }
        const auto known = walker.outcomes.find(path);
        if (known != walker.outcomes.end()) {
            remaining.push_back(known->second);
        } else if (walker.accepted.count(path) != 0) {
            remaining.push_back({path, 0, RemainReason::HeldOpen});
        } else {
            remaining.push_back({path, 0, RemainReason::Changed});
        }
    };
    std::vector<Frame> stack;
    stack.push_back({FileHandle(), top, topPath, {}, 0, 0});
    if (!ListByHandle(top, stack.back().entries)) {
        return;
    }
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next == frame.entries.size()) {
            const std::wstring path = std::move(frame.path);
            const size_t before = frame.before;
            stack.pop_back();
            if (!stack.empty()) {
                name(path, before);
            }
            continue;
        }
        const ListedEntry entry = frame.entries[frame.next++];
        const HANDLE folder = frame.handle;
        const std::wstring path = frame.path + L"\\" + entry.name;
        const size_t before = remaining.size();
        const auto known = walker.outcomes.find(path);
        const bool descend = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                             !IsLink(entry.attributes, entry.tag) && entry.name[0] != L'.' &&
                             (known == walker.outcomes.end() || known->second.reason == RemainReason::SystemError);
        if (descend) {
            DWORD error = 0;
            FileHandle child = OpenRelative(folder, entry.name, FILE_LIST_DIRECTORY, FILE_DIRECTORY_FILE, error);
            LONGLONG id = 0;
            std::vector<ListedEntry> entries;
            if (child && HandleId(child.get(), id) && id == entry.id && ListByHandle(child.get(), entries)) {
                const HANDLE raw = child.get();
                stack.push_back({std::move(child), raw, path, std::move(entries), 0, before});
                continue;
            }
        }
        name(path, before);
    }
}

}  // namespace

std::vector<RemainingEntry> ClearFolderByHandle(const std::wstring& fullFolderPath) {
    std::vector<RemainingEntry> remaining;
    std::wstring topPath = fullFolderPath;
    while (topPath.size() > 3 && topPath.back() == L'\\') {
        topPath.pop_back();
    }
    // The one use of the path text: the folder is opened once, the reparse point itself if it is one.
    FileHandle top(CreateFileW(ExtendedLengthPath(topPath).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES |
                                   SYNCHRONIZE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!top || !GetFileInformationByHandleEx(top.get(), FileAttributeTagInfo, &tag, sizeof tag) ||
        (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return remaining;
    }
    // Wine opens a Unix link's target even so; only the parent's listing still tells the link.
    WIN32_FIND_DATAW found{};
    const FindHandle listed(FindFirstFileW(ExtendedLengthPath(topPath).c_str(), &found));
    const DWORD listedAttributes = listed ? found.dwFileAttributes : 0;
    if (IsLink(tag.FileAttributes, tag.ReparseTag) ||
        IsLink(listedAttributes, (listedAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? found.dwReserved0 : 0)) {
        remaining.push_back({topPath, 0, RemainReason::LinkKept});
        return remaining;
    }
    Walker walker;
    const std::wstring reportPath = WithoutExtendedPrefix(topPath);
    walker.Walk(top.get(), reportPath);
    ListRemaining(top.get(), reportPath, walker, remaining);
    return remaining;
}

}  // namespace orlenta

namespace orlenta::test_hooks {

void SetFolderListedHook(std::function<void(const std::wstring& folderPath)> hook) {
    FolderListedHook() = std::move(hook);
}

}  // namespace orlenta::test_hooks
