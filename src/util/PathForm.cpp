// The one form of every path the run takes, and folder identity.
#include "util/PathForm.h"

#include <array>
#include <cwctype>
#include <optional>
#include <vector>

#include <windows.h>

#include "util/FileIdentity.h"
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

// The path a prefix stands before, and whether the platform takes it literally ("\\?\", "\??\"):
// then nothing of it is resolved, so it must already be in its full, plain form. Or a refusal.
std::wstring WithoutPrefix(std::wstring path, bool& literal, std::string& refusal) {
    for (const wchar_t* prefix : {L"\\??\\", L"\\\\?\\", L"//?/"}) {
        if (!StartsWith(path, prefix)) {
            continue;
        }
        literal = true;
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
        return "it holds the wildcard or reserved character \"" + WideToUtf8(path.substr(bad, 1)) + "\"";
    }
    const size_t colonFrom = IsDriveStart(path) ? 2 : 0;
    if (path.find(L':', colonFrom) != std::wstring::npos) {
        return "it holds a colon after the drive";
    }
    size_t start = 0;
    while (start <= path.size()) {
        const size_t end = path.find_first_of(L"\\/", start);
        const std::wstring segment = path.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        const bool drive = start == 0 && colonFrom == 2 && segment.size() == 2;
        if (!segment.empty() && !drive && IsDeviceName(segment)) {
            return "it names the device " + WideToUtf8(segment);
        }
        // The platform drops trailing dots and spaces when it opens a name, so "AVES.." would open
        // AVES while every text comparison saw another folder.
        if (!segment.empty() && !drive && segment != L"." && segment != L".." &&
            (segment.back() == L'.' || segment.back() == L' ')) {
            return "its part \"" + WideToUtf8(segment) +
                   "\" ends in a dot or a space, which the system would drop and so open another folder";
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
    std::optional<FileIdentity> identity;
};

ResolvedFolder Resolve(const std::wstring& path) {
    ResolvedFolder folder;
    const std::wstring full = FullPathW(path);
    if (full.empty()) {
        return folder;
    }
    folder.full = WithBackslash(Lowered(full));
    folder.final = folder.full;
    const FileHandle handle = OpenToLook(full);
    if (!handle || !(folder.identity = IdentityOf(handle.get()))) {
        return folder;
    }
    const std::wstring final = FinalPathOf(handle.get());
    if (!final.empty()) {
        folder.final = WithBackslash(Lowered(final));
    }
    return folder;
}

bool StartsWithFolder(const std::wstring& path, const std::wstring& folder) {
    return !folder.empty() && path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0;
}

}  // namespace

PathForm FullPathForm(std::string_view given) {
    PathForm form;
    bool literal = false;
    std::wstring path = WithoutPrefix(Utf8ToWide(TrimSpaces(given)), literal, form.refusal);
    if (!form.refusal.empty() || path.empty()) {
        return form;
    }
    form.refusal = RefusalOf(path);
    if (!form.refusal.empty()) {
        return form;
    }
    // A bare drive ("C:") names the drive as the folder picker and the command prompt show it.
    if (path.size() == 2 && IsDriveStart(path)) {
        path += L'\\';
    }
    std::wstring full = FullPathW(path);
    // The platform turns a device it recognises into "\\.\NAME" itself.
    if (full.empty() || StartsWith(full, L"\\\\.\\") || StartsWith(full, L"\\\\?\\")) {
        if (!full.empty()) {
            form.refusal = "it names a device";
        }
        return form;
    }
    // Taken literally, a prefixed path must be what the plain path would resolve to; "\\?\D:\Runs."
    // is a folder "Runs." that the plain spelling could never reach.
    const auto same = [](const std::wstring& a, const std::wstring& b) {
        return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
    };
    if (literal && !same(full, path) && !same(full, path + L"\\")) {
        form.refusal = "behind its \\\\?\\ or \\??\\ prefix it is not a full, plain path, and the system would take it "
                       "literally";
        return form;
    }
    // "C:\" keeps its backslash; "\\server\share\" is as much a root as "\\server\share".
    while (full.size() > 3 && full.back() == L'\\') {
        full.pop_back();
    }
    form.full = full;
    return form;
}

PathForm FolderPathForm(std::string_view given) {
    PathForm form = FullPathForm(given);
    if (form.usable()) {
        const DWORD attributes = GetFileAttributesW(ExtendedLengthPath(form.full).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            form.full.clear();
            form.refusal = "it names a file, and a folder is needed";
        }
    }
    return form;
}

std::wstring FolderPathWithBackslash(const PathForm& form) {
    if (!form.usable()) {
        return {};
    }
    return WithBackslash(form.full);
}

std::wstring RootOf(const std::wstring& fullPath) {
    if (IsDriveStart(fullPath)) {
        return fullPath.substr(0, 2) + L"\\";
    }
    if (StartsWith(fullPath, L"\\\\")) {
        const size_t server = fullPath.find(L'\\', 2);
        if (server == std::wstring::npos || server == 2) {
            return {};
        }
        const size_t share = fullPath.find(L'\\', server + 1);
        return WithBackslash(fullPath.substr(0, share));
    }
    return {};
}

bool IsRootPath(const std::wstring& fullPath) {
    const std::wstring root = RootOf(fullPath);
    return !root.empty() && (fullPath == root || WithBackslash(fullPath) == root);
}

std::wstring ParentFolderOf(const std::wstring& fullPath) {
    if (fullPath.empty() || IsRootPath(fullPath)) {
        return {};
    }
    std::wstring path = fullPath;
    while (path.size() > 1 && path.back() == L'\\') {
        path.pop_back();
    }
    const size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) {
        return {};
    }
    const std::wstring parent = path.substr(0, slash);
    const std::wstring root = RootOf(path);
    // The root keeps its backslash: "C:\" holds "C:\x".
    return !root.empty() && WithBackslash(parent) == root ? root : parent;
}

std::wstring LeafOf(const std::wstring& fullPath) {
    std::wstring path = fullPath;
    while (!path.empty() && path.back() == L'\\') {
        path.pop_back();
    }
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool IsSameFolder(const std::wstring& a, const std::wstring& b) {
    const ResolvedFolder first = Resolve(a);
    const ResolvedFolder second = Resolve(b);
    if (first.full.empty() || second.full.empty()) {
        return false;
    }
    if (first.identity && second.identity) {
        return *first.identity == *second.identity;
    }
    return first.full == second.full || first.final == second.final;
}

bool IsInsideFolder(const std::wstring& innerPath, const std::wstring& outerPath) {
    const ResolvedFolder inner = Resolve(innerPath);
    const ResolvedFolder outer = Resolve(outerPath);
    if (inner.full.empty() || outer.full.empty()) {
        return false;
    }
    if (StartsWithFolder(inner.full, outer.full) || StartsWithFolder(inner.final, outer.final)) {
        return true;
    }
    if (!outer.identity) {
        return false;
    }
    for (const std::wstring* path : {&inner.full, &inner.final}) {
        for (std::wstring parent = ParentFolderOf(*path); !parent.empty(); parent = ParentFolderOf(parent)) {
            if (IdentityAt(parent) == outer.identity) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace orlenta
