// The one form of every path the run takes, and whether two folders are the same folder.
#pragma once

#include <string>
#include <string_view>

namespace orlenta {

// A path made full by the platform's own rules, or the reason it cannot be used.
struct PathForm {
    // The full path in the ANSI code page, letter case as given: either separator, "." and "..",
    // doubled separators and trailing dots and spaces resolved; no trailing "\" except at a root
    // ("C:\"). Empty when the path is refused or cannot be made full.
    std::string full;
    // Why the path is refused (wildcards, a device name, a prefix the run does not take, a file
    // where a folder is needed), as a clause: "it holds the wildcard \"*\"". Empty when not refused.
    std::string refusal;

    bool usable() const { return !full.empty(); }
};

// Trims spaces, understands the prefixes "\??\" and "\\?\" (with a drive or "UNC\"), refuses
// "\\.\", other prefixes, wildcards and reserved characters, a colon after the drive, and device
// names (CON, NUL, COM1, ...) in any segment; then asks GetFullPathNameW. A path the platform
// cannot make full (empty text, for one) comes back with neither `full` nor `refusal`.
PathForm FullPathForm(std::string_view given);

// FullPathForm, and a path that names an existing file is refused: a folder is needed there.
PathForm FolderPathForm(std::string_view given);

// The full form with one trailing "\", for appending names; empty when the path is not usable.
std::string FolderPathWithBackslash(const PathForm& form);

// Two paths name the same folder: by identity (volume and file index) when both can be opened,
// which sees through short names, case and links; otherwise by their full forms, ignoring case.
bool IsSameFolder(const std::string& a, const std::string& b);

// `inner` lies below `outer` (not the same folder): by the full forms, or by the identity of one
// of inner's parents, which sees through short names and links on the way.
bool IsInsideFolder(const std::string& inner, const std::string& outer);

}  // namespace orlenta
