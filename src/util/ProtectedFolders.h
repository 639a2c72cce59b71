// The system's own folders and every profile's, which nothing the program deletes may be, lie in
// or contain.
#pragma once

#include <string>
#include <vector>

#include "util/FileIdentity.h"

namespace orlenta {

// How far a folder's protection reaches.
enum class Protection {
    Itself,  // the folder, and any folder that contains it
    Tree,    // and also every folder inside it
};

struct ProtectedFolder {
    std::string what;   // how a message names it: "the Windows folder", "a user's Documents folder"
    std::wstring path;  // full path as the system gives it
    Protection reach = Protection::Itself;
    // Inside a tree, the folder whose insides stay allowed (a profile's temporary folder, where CI
    // agents keep their work); empty for none.
    std::wstring allowedInside;
};

// The Windows folder, both Program Files folders and ProgramData with everything inside them; the
// folder of the user profiles; for every profile the system lists, the running account's and the
// Public one: the profile folder, its AppData with everything inside it but its temporary folder's
// insides, and its Desktop, Documents, Downloads, Music, Pictures, Videos and temporary folders
// (where the running account's or a loaded profile's are redirected, there as well). Folders the
// system does not name on this machine are left out.
std::vector<ProtectedFolder> ProtectedSystemFolders();

// How a message names the protected folder that a folder is, lies inside or contains, judged by
// identity: `folder` is the folder's, `above` those of the folders it lies in. Empty when none.
// A folder directly inside the folder of the user profiles is some user's profile.
std::string ProtectedFolderClash(const FileIdentity& folder, const std::vector<FileIdentity>& above);

}  // namespace orlenta
