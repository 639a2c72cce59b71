// What a file or folder is, whatever its spelling.
#include "util/FileIdentity.h"

#include <cstring>

#include "util/LongPath.h"
#include "util/PathForm.h"

namespace orlenta {

namespace {

// FileIdInfo and its record (Windows 8 and later), which the headers offer only to programs that
// require that version.
constexpr auto kFileIdInfo = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);
struct FileIdRecord {
    ULONGLONG VolumeSerialNumber;
    unsigned char FileId[16];
};

}  // namespace

std::optional<FileIdentity> IdentityOf(HANDLE handle) {
    FileIdentity identity;
    FileIdRecord id{};
    if (GetFileInformationByHandleEx(handle, kFileIdInfo, &id, sizeof id)) {
        identity.Volume = id.VolumeSerialNumber;
        static_assert(sizeof id.FileId == 16);
        std::memcpy(identity.Id.data(), &id.FileId, sizeof id.FileId);
        // Asked once more: under Wine a busy mount manager leaves the serial 0 now and then.
        BY_HANDLE_FILE_INFORMATION info{};
        if (identity.Volume == 0 && GetFileInformationByHandle(handle, &info)) {
            identity.Volume = info.dwVolumeSerialNumber;
        }
        return identity;
    }
    // Systems before Windows 8 know only the 64-bit index.
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) {
        return std::nullopt;
    }
    identity.Volume = info.dwVolumeSerialNumber;
    const unsigned long long index = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    std::memcpy(identity.Id.data(), &index, sizeof index);
    return identity;
}

FileHandle OpenToLook(const std::wstring& fullPath, bool followLink) {
    // No access beyond attributes, and every share mode: looking disturbs nobody.
    return FileHandle(CreateFileW(ExtendedLengthPath(fullPath).c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT),
                                  nullptr));
}

std::optional<FileIdentity> IdentityAt(const std::wstring& fullPath) {
    if (fullPath.empty()) {
        return std::nullopt;
    }
    const FileHandle handle = OpenToLook(fullPath);
    return handle ? IdentityOf(handle.get()) : std::nullopt;
}

std::wstring FinalPathOf(HANDLE handle) {
    std::wstring final(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
        const DWORD length =
            GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()), VOLUME_NAME_DOS);
        if (length == 0) {
            return {};
        }
        if (length < final.size()) {
            final.resize(length);
            return WithoutExtendedPrefix(final);
        }
        final.assign(length + 1, L'\0');
    }
    return {};
}

unsigned long LinkCountOf(HANDLE handle) {
    FILE_STANDARD_INFO standard{};
    return GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard) ? standard.NumberOfLinks
                                                                                                : 0;
}

bool IsLinkAttributes(unsigned long attributes, unsigned long tag) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && (tag == 0 || (tag & 0x20000000u) != 0);
}

bool IsLinkAt(const std::wstring& fullPath) {
    if (const FileHandle own = OpenToLook(fullPath, false)) {
        FILE_ATTRIBUTE_TAG_INFO tag{};
        if (GetFileInformationByHandleEx(own.get(), FileAttributeTagInfo, &tag, sizeof tag) &&
            IsLinkAttributes(tag.FileAttributes, tag.ReparseTag) &&
            (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            return true;
        }
    }
    if (IsRootPath(fullPath)) {
        return false;
    }
    WIN32_FIND_DATAW found{};
    const FindHandle listed(FindFirstFileExW(ExtendedLengthPath(fullPath).c_str(), FindExInfoBasic, &found,
                                             FindExSearchNameMatch, nullptr, 0));
    if (!listed) {
        return false;
    }
    const DWORD attributes = found.dwFileAttributes;
    if (IsLinkAttributes(attributes, (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? found.dwReserved0 : 0)) {
        return true;
    }
    // Wine lists a Unix link to a file as a plain file and opens its target: only the path the
    // handle reaches tells it, against the folder's own path and the entry's stored name.
    const FileHandle reached = OpenToLook(fullPath);
    const FileHandle parent = OpenToLook(ParentFolderOf(fullPath));
    if (!reached || !parent) {
        return false;
    }
    const std::wstring reachedPath = FinalPathOf(reached.get());
    std::wstring expected = FinalPathOf(parent.get());
    if (reachedPath.empty() || expected.empty()) {
        return false;
    }
    if (expected.back() != L'\\') {
        expected += L'\\';
    }
    expected += found.cFileName;
    return CompareStringOrdinal(reachedPath.c_str(), -1, expected.c_str(), -1, TRUE) != CSTR_EQUAL;
}

std::vector<FileIdentity> IdentitiesAbove(const std::wstring& fullPath) {
    std::vector<FileIdentity> above;
    const FileHandle handle = OpenToLook(fullPath);
    const std::wstring reached = handle ? FinalPathOf(handle.get()) : std::wstring();
    for (const std::wstring* start : {&fullPath, &reached}) {
        for (std::wstring parent = ParentFolderOf(*start); !parent.empty(); parent = ParentFolderOf(parent)) {
            if (const auto identity = IdentityAt(parent)) {
                above.push_back(*identity);
            }
        }
    }
    return above;
}

bool IsSameFile(const std::wstring& a, const std::wstring& b) {
    if (a.empty() || b.empty()) {
        return false;
    }
    const auto first = IdentityAt(a);
    const auto second = IdentityAt(b);
    if (first && second) {
        return *first == *second;
    }
    if (first || second) {
        return false;
    }
    // Neither exists yet: the same name in the same folder.
    return CompareStringOrdinal(LeafOf(a).c_str(), -1, LeafOf(b).c_str(), -1, TRUE) == CSTR_EQUAL &&
           IsSameFolder(ParentFolderOf(a), ParentFolderOf(b));
}

}  // namespace orlenta
