// What a file or folder is, whatever its spelling: its identity (volume and file ID), whether it is
// a link, how many names it has, and the path the system reaches through a handle.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include <windows.h>

#include "util/Handles.h"

namespace orlenta {

struct FileIdentity {
    unsigned long long Volume = 0;       // 0 when the system could not say
    std::array<unsigned char, 16> Id{};  // 128 bits, as ReFS numbers its files; NTFS uses the low 64

    // The same file ID on the same volume. Wine asks another process (its mount manager) for the
    // volume's serial and gets none when that process is busy: an unknown volume matches any, so a
    // folder the run needs is never taken for another one.
    friend bool operator==(const FileIdentity& a, const FileIdentity& b) {
        return a.Id == b.Id && (a.Volume == b.Volume || a.Volume == 0 || b.Volume == 0);
    }
};

std::optional<FileIdentity> IdentityOf(HANDLE handle);

// Opens a full path only to look at it: attribute access, every sharing mode, folders too. Without
// `followLink` the last component is opened itself when it is a reparse point.
FileHandle OpenToLook(const std::wstring& fullPath, bool followLink = true);

// The identity of what a full path reaches (through links); nothing when it cannot be opened.
std::optional<FileIdentity> IdentityAt(const std::wstring& fullPath);

// The path the system reaches through the handle, without the "\\?\" prefix: "C:\x", or
// "\\server\share\x"; empty when it cannot tell.
std::wstring FinalPathOf(HANDLE handle);

// The number of names (hard links) the file has; 0 when the system does not say.
unsigned long LinkCountOf(HANDLE handle);

// A name-surrogate reparse point (junction, mount point, symbolic link). Wine lists its Unix links
// with the reparse attribute and no tag, so a missing tag is a link too; other tags (cloud files)
// are ordinary entries.
bool IsLinkAttributes(unsigned long attributes, unsigned long tag);

// The entry at a full path is itself a link: its own reparse point says so, or (under Wine, which
// opens a link's target even when asked for the link) its parent's listing does.
bool IsLinkAt(const std::wstring& fullPath);

// The identities of the folders a full path lies in, by its own path and by the path its handle
// reaches (which may go another way, through a second drive letter or a link): every folder that
// holds it either way.
std::vector<FileIdentity> IdentitiesAbove(const std::wstring& fullPath);

// Two full paths name the same file or folder: by identity when both exist; a path that does not
// exist yet is the same as another when both have the same name in the same folder.
bool IsSameFile(const std::wstring& a, const std::wstring& b);

}  // namespace orlenta
