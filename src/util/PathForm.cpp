// The one form of every path the run takes, and folder identity.
#include "util/PathForm.h"

#include <array>
#include <cwctype>
#include <vector>

#include <windows.h>

#include "util/Handles.h"
#include "util/LongPath.h"
#include "util/Text.h"

namespace orlenta {

namespace {

bool StartsWith(const std::wstring& text, const wchar_t* prefix) { return text.rfind(prefix, 0) == 0; }

bool IsDriveStart(const std::wstring& path) {
    return path.size() >= 2 && path[1] == L':' && std::iswalpha(path[0]) != 0;
}

// A segment that the platform takes for a device whatever folder it stands in: its name up to
// the first dot or colon, without trailing spaces.
bool IsDeviceName(std::wstring segment) {
    segment = segment.substr(0, segment.find_first_of(L".:"));
    while (!segment.empty() && segment.back() == L' ') {
        segment.pop_back();
    }
    for (wchar_t& c : segment) {
        c = static_cast<wchar_t>(std::towupper(c));
    }
    static const std::array<const wchar_t*, 6> plain = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* name : plain) {
        if (segment == name) {
            return true;
        }
    }
    // COM0-9 and LPT0-9, and the superscript digits Windows counts as well.
    if (segment.size() == 4 && (StartsWith(segment, L"COM") || StartsWith(segment, L"LPT"))) {
        const wchar_t digit = segment[3];
        return (digit >= L'0' && digit <= L'9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    }
    return false;
}

// The path without a prefix the platform would pass through unresolved, or a refusal.
std::wstring WithoutPrefix(std::wstring path, std::string& refusal) {
    for (const wchar_t* prefix : {L"\\??\\", L"\\\\?\\", L"//?/"}) {
        if (!StartsWith(path, prefix)) {
            continue;
        }
        std::wstring rest = path.substr(4);
        if (IsDriveStart(rest)) {
            return rest;
        }
        if (rest.size() > 4 && _wcsnicmp(rest.c_str(), L"UNC\\", 4) == 0) {
            return L"\\\\" + rest.substr(4);
        }
        refusal = "it names a volume or device by a system prefix, not a folder by its path";
        return {};
    }
    if (StartsWith(path, L"\\\\.\\") || StartsWith(path, L"//./")) {
        refusal = "it names a device (\\\\.\\), not a folder";
        return {};
    }
    return path;
}

std::string RefusalOf(const std::wstring& path) {
    const auto bad = path.find_first_of(L"*?<>\"|");
    if (bad != std::wstring::npos) {
        return "it holds the wildcard or reserved character \"" + WideToAnsi(path.substr(bad, 1)) + "\"";
    }
    const size_t colonFrom = IsDriveStart(path) ? 2 : 0;
    if (path.find(L':', colonFrom) != std::wstring::npos) {
        return "it holds a colon after the drive";
    }
    size_t start = 0;
    while (start <= path.size()) {
        const size_t end = path.find_first_of(L"\\/", start);
        const std::wstring segment = path.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (!segment.empty() && !(start == 0 && colonFrom == 2 && segment.size() == 2) && IsDeviceName(segment)) {
            return "it names the device " + WideToAnsi(segment);
        }
        if (end == std::wstring::npos) {
            break;
        }
        start = end + 1;
    }
    return {};
}

std::wstring Lowered(std::wstring text) {
    if (!text.empty()) {
        CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    }
    return text;
}

std::wstring WithBackslash(std::wstring path) {
    if (path.empty() || path.back() != L'\\') {
        path.push_back(L'\\');
    }
    return path;
}

// Where a folder really is: its full form, and for an existing folder the path and identity of
// what an opened handle reaches (the target, when the path goes through a link).
struct ResolvedFolder {
    std::wstring full;   // lower case, ending in "\"; empty when the path is not usable
    std::wstring final;  // lower case, ending in "\"; the full form when the folder cannot be opened
    bool opened = false;
    DWORD volume = 0;
    ULONGLONG index = 0;
};

FileHandle OpenForIdentity(const std::wstring& fullPath) {
    // No access beyond attributes, and every share mode: opening it disturbs nobody.
    return FileHandle(CreateFileW(ExtendedLengthPath(fullPath).c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

bool ReadIdentity(const FileHandle& handle, DWORD& volume, ULONGLONG& index) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle.get(), &info)) {
        return false;
    }
    volume = info.dwVolumeSerialNumber;
    index = (static_cast<ULONGLONG>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

ResolvedFolder Resolve(const std::string& path) {
    ResolvedFolder folder;
    const PathForm form = FullPathForm(path);
    if (!form.usable()) {
        return folder;
    }
    const std::wstring full = AnsiToWide(form.full);
    folder.full = WithBackslash(Lowered(full));
    folder.final = folder.full;
    const FileHandle handle = OpenForIdentity(full);
    if (!handle || !ReadIdentity(handle, folder.volume, folder.index)) {
        return folder;
    }
    folder.opened = true;
    std::wstring final(MAX_PATH, L'\0');
    DWORD length = GetFinalPathNameByHandleW(handle.get(), final.data(), static_cast<DWORD>(final.size()), 0);
    if (length >= final.size()) {
        final.assign(length, L'\0');
        length = GetFinalPathNameByHandleW(handle.get(), final.data(), static_cast<DWORD>(final.size()), 0);
    }
    if (length != 0 && length < final.size()) {
        final.resize(length);
        folder.final = WithBackslash(Lowered(WithoutExtendedPrefix(final)));
    }
    return folder;
}

bool StartsWithFolder(const std::wstring& path, const std::wstring& folder) {
    return !folder.empty() && path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0;
}

}  // namespace

PathForm FullPathForm(std::string_view given) {
    PathForm form;
    std::wstring path = WithoutPrefix(AnsiToWide(TrimSpaces(given)), form.refusal);
    if (!form.refusal.empty() || path.empty()) {
        return form;
    }
    form.refusal = RefusalOf(path);
    if (!form.refusal.empty()) {
        return form;
    }
    std::wstring full = FullPathW(path);
    // The platform turns a device it recognises into "\\.\NAME" itself.
    if (full.empty() || StartsWith(full, L"\\\\.\\") || StartsWith(full, L"\\\\?\\")) {
        if (!full.empty()) {
            form.refusal = "it names a device";
        }
        return form;
    }
    // "C:\" keeps its backslash; "\\server\share\" is as much a root as "\\server\share".
    while (full.size() > 3 && full.back() == L'\\') {
        full.pop_back();
    }
    form.full = WideToAnsi(full);
    return form;
}

PathForm FolderPathForm(std::string_view given) {
    PathForm form = FullPathForm(given);
    if (form.usable()) {
        const DWORD attributes = GetFileAttributesW(ExtendedLengthPath(AnsiToWide(form.full)).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            form.full.clear();
            form.refusal = "it names a file, and a folder is needed";
        }
    }
    return form;
}

std::string FolderPathWithBackslash(const PathForm& form) {
    if (!form.usable()) {
        return {};
    }
    return form.full.back() == '\\' ? form.full : form.full + "\\";
}

bool IsSameFolder(const std::string& a, const std::string& b) {
    const ResolvedFolder first = Resolve(a);
    const ResolvedFolder second = Resolve(b);
    if (first.full.empty() || second.full.empty()) {
        return false;
    }
    if (first.opened && second.opened) {
        return first.volume == second.volume && first.index == second.index;
    }
    return first.full == second.full || first.final == second.final;
}

bool IsInsideFolder(const std::string& innerPath, const std::string& outerPath) {
    const ResolvedFolder inner = Resolve(innerPath);
    const ResolvedFolder outer = Resolve(outerPath);
    if (inner.full.empty() || outer.full.empty()) {
        return false;
    }
    if (StartsWithFolder(inner.full, outer.full) || StartsWithFolder(inner.final, outer.final)) {
        return true;
    }
    if (!outer.opened) {
        return false;
    }
    std::vector<std::wstring> parents;
    for (const std::wstring* path : {&inner.full, &inner.final}) {
        std::wstring parent = *path;
        for (auto cut = parent.find_last_of(L'\\', parent.size() - 2); cut != std::wstring::npos && cut > 0;
             cut = parent.find_last_of(L'\\', cut - 1)) {
            parent.resize(cut + 1);
            parents.push_back(parent);
        }
    }
    for (const std::wstring& parent : parents) {
        const FileHandle handle = OpenForIdentity(parent);
        DWORD volume = 0;
        ULONGLONG index = 0;
        if (handle && ReadIdentity(handle, volume, index) && volume == outer.volume && index == outer.index) {
            return true;
        }
    }
    return false;
}

}  // namespace orlenta
