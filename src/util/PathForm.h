// The one form of every path the run takes: made full once, in UTF-16, by the platform's own rules,
// or refused with the reason.
#pragma once

#include <string>
#include <string_view>

namespace orlenta {

// A path made full by the platform's own rules, or the reason it cannot be used.
struct PathForm {
    // The full path, letter case as given: either separator, "." and ".." and doubled separators
    // resolved; no trailing "\" except at a root ("C:\"). Empty when the path is refused or cannot
    // be made full.
    std::wstring full;
    // Why the path is refused (wildcards, a device name, a component ending in a dot or a space, a
    // prefixed path that is not already full, a file where a folder is needed), as a clause: "it
    // holds the wildcard \"*\"". Empty when not refused.
    std::string refusal;

    bool usable() const { return !full.empty(); }
};

// Trims spaces from a UTF-8 text and makes it a full path: "\??\" and "\\?\" (with a drive or
// "UNC\") are taken literally, so a path behind them must already be full and plain, or it is
// refused; "\\.\", other prefixes, wildcards and reserved characters, a colon after the drive, a
// component that ends in a dot or a space (the platform would open another folder than the one the
// text names), and device names (CON, NUL, COM1, ...) in any component are refused; then
// GetFullPathNameW. A path the platform cannot make full (empty text, for one) comes back with
// neither `full` nor `refusal`.
PathForm FullPathForm(std::string_view given);

// FullPathForm, and a path that names an existing file is refused: a folder is needed there.
PathForm FolderPathForm(std::string_view given);

// The full form with one trailing "\", for appending names; empty when the path is not usable.
std::wstring FolderPathWithBackslash(const PathForm& form);

// The folder a full path lies in ("C:\" for "C:\x", "\\server\share\" for a share's first level),
// without a trailing "\" except at a root; empty for a root itself.
std::wstring ParentFolderOf(const std::wstring& fullPath);
// The last component of a full path.
std::wstring LeafOf(const std::wstring& fullPath);

// The root a full path starts from: "C:\" or "\\server\share\"; empty when it has none.
std::wstring RootOf(const std::wstring& fullPath);
// True for "C:\", "\\server\share" and "\\server\share\".
bool IsRootPath(const std::wstring& fullPath);

// Two full paths name the same folder: by identity (volume and file ID) when both can be opened,
// which sees through short names, case and links; otherwise by their texts, ignoring case.
bool IsSameFolder(const std::wstring& a, const std::wstring& b);

// `inner` lies below `outer` (not the same folder): by the texts, or by the identity of one of
// inner's parents, which sees through short names and links on the way.
bool IsInsideFolder(const std::wstring& inner, const std::wstring& outer);

}  // namespace orlenta
