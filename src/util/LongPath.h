// Full and extended-length ("\\?\") forms of paths for the wide-character file functions.
#pragma once

#include <string>

namespace orlenta {

// The path made absolute against the current directory, "." and ".." segments resolved and "/"
// turned into "\"; empty when the platform cannot resolve it.
std::wstring FullPathW(const std::wstring& path);

// A full path in the form that lifts the 260-character limit: C:\a gives \\?\C:\a, \\server\share
// gives \\?\UNC\server\share; a path that already has the prefix is returned unchanged.
std::wstring ExtendedLengthPath(const std::wstring& fullPath);

// The ordinary form of a path, without the "\\?\" or "\\?\UNC\" prefix.
std::wstring WithoutExtendedPrefix(const std::wstring& path);

}  // namespace orlenta
