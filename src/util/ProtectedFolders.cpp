// The system's own folders, from the known-folder service and the registry.
#include "util/ProtectedFolders.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "util/Handles.h"
#include "util/PathForm.h"
#include "util/Text.h"

namespace orlenta {

namespace {

std::string KnownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::string text;
    // KF_FLAG_DONT_VERIFY: a redirected folder that does not exist yet is still the user's.
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path)) && path != nullptr) {
        text = WideToAnsi(path);
    }
    CoTaskMemFree(path);
    return text;
}

std::string ParentOf(const std::string& path) {
    const auto cut = path.find_last_of('\\');
    return cut == std::string::npos || cut < 3 ? std::string() : path.substr(0, cut);
}

// Every text value of a key, expanded: (name, path).
std::vector<std::pair<std::string, std::string>> ValuesOf(HKEY root, const char* subKey) {
    std::vector<std::pair<std::string, std::string>> values;
    RegKey key;
    if (RegOpenKeyExA(root, subKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        return values;
    }
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD nameSize = sizeof name;
        char data[1024];
        DWORD dataSize = sizeof data - 1;
        DWORD type = 0;
        const LONG result = RegEnumValueA(key.get(), index, name, &nameSize, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data), &dataSize);
        if (result == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
            continue;
        }
        data[dataSize] = '\0';
        values.emplace_back(name, ExpandEnvironment(data));
    }
    return values;
}

// The profile folders the system lists, whoever they belong to.
std::vector<std::string> ListedProfiles() {
    std::vector<std::string> profiles;
    const char* list = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
    RegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, list, 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        return profiles;
    }
    for (DWORD index = 0;; ++index) {
        char name[256];
        if (RegEnumKeyA(key.get(), index, name, sizeof name) != ERROR_SUCCESS) {
            break;
        }
        for (const auto& [valueName, path] : ValuesOf(key.get(), name)) {
            if (ToLowerText(valueName) == "profileimagepath" && !path.empty()) {
                profiles.push_back(path);
            }
        }
    }
    return profiles;
}

}  // namespace

std::vector<ProtectedFolder> ProtectedSystemFolders() {
    std::vector<ProtectedFolder> folders;
    const auto add = [&](const std::string& what, const std::string& path) {
        if (!path.empty()) {
            folders.push_back({what, path});
        }
    };
    add("the Windows folder", KnownFolder(FOLDERID_Windows));
    add("the Program Files folder", KnownFolder(FOLDERID_ProgramFiles));
    add("the Program Files (x86) folder", KnownFolder(FOLDERID_ProgramFilesX86));
    add("the ProgramData folder", KnownFolder(FOLDERID_ProgramData));
    add("the folder of the user profiles", KnownFolder(FOLDERID_UserProfiles));
    for (const std::string& profile : ListedProfiles()) {
        add("a user's profile folder", profile);
    }
    add("your profile folder", KnownFolder(FOLDERID_Profile));
    const std::string roaming = KnownFolder(FOLDERID_RoamingAppData);
    add("your AppData folder", ParentOf(roaming));
    add("your AppData\\Roaming folder", roaming);
    add("your AppData\\Local folder", KnownFolder(FOLDERID_LocalAppData));
    add("your AppData\\LocalLow folder", KnownFolder(FOLDERID_LocalAppDataLow));
    const struct {
        const char* what;
        REFKNOWNFOLDERID id;
    } known[] = {
        {"your Desktop folder", FOLDERID_Desktop},     {"your Documents folder", FOLDERID_Documents},
        {"your Downloads folder", FOLDERID_Downloads}, {"your Music folder", FOLDERID_Music},
        {"your Pictures folder", FOLDERID_Pictures},   {"your Videos folder", FOLDERID_Videos},
    };
    for (const auto& folder : known) {
        add(folder.what, KnownFolder(folder.id));
    }
    // Redirections the known-folder service may not have taken up yet.
    for (const auto& [name, path] :
         ValuesOf(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders")) {
        add("your " + name + " folder", path);
    }
    return folders;
}

std::string ProtectedFolderClash(const std::string& folder) {
    const std::vector<ProtectedFolder> folders = ProtectedSystemFolders();
    for (const ProtectedFolder& entry : folders) {
        if (IsSameFolder(folder, entry.path)) {
            return "it is " + entry.what + ".";
        }
    }
    for (const ProtectedFolder& entry : folders) {
        if (IsInsideFolder(entry.path, folder)) {
            return "it contains " + entry.what + " " + entry.path + ".";
        }
    }
    const PathForm form = FullPathForm(folder);
    const std::string profiles = KnownFolder(FOLDERID_UserProfiles);
    if (form.usable() && !profiles.empty() && IsSameFolder(ParentOf(form.full), profiles)) {
        return "it is a user's profile folder.";
    }
    return {};
}

}  // namespace orlenta
