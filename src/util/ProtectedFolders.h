// The system's own folders, which nothing the program deletes or writes may be, or contain.
#pragma once

#include <string>
#include <vector>

namespace orlenta {

struct ProtectedFolder {
    std::string what;  // how a message names it: "the Windows folder", "your Documents folder"
    std::wstring path;  // full path as the system gives it
};

// The Windows folder, both Program Files folders, ProgramData, the folder of the user profiles,
// every profile the system lists, the current user's profile, AppData and its parts, and the
// user's known folders (the system's answer and every redirection under "User Shell Folders").
// Folders the system does not name on this machine are left out.
std::vector<ProtectedFolder> ProtectedSystemFolders();

// How a message names the protected folder that `folder` is or contains ("it is the Windows
// folder.", "it contains your Documents folder C:\...\Documents."), or empty when it is neither.
// A folder directly inside the folder of the user profiles is some user's profile.
std::string ProtectedFolderClash(const std::wstring& folder);

}  // namespace orlenta
