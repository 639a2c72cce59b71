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

std::wstring KnownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::wstring text;
    // KF_FLAG_DONT_VERIFY: a redirected folder that does not exist yet is still the user's.
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path)) && path != nullptr) {
        text = path;
    }
    CoTaskMemFree(path);
    return text;
}


// Every text value of a key, expanded: (name, path).
std::vector<std::pair<std::wstring, std::wstring>> ValuesOf(HKEY root, const wchar_t* subKey) {
    std::vector<std::pair<std::wstring, std::wstring>> values;
    RegKey key;
    if (RegOpenKeyExW(root, subKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        return values;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameSize = 256;
        std::wstring data(32768, L'\0');
        DWORD dataSize = static_cast<DWORD>((data.size() - 1) * sizeof(wchar_t));
        DWORD type = 0;
        const LONG result = RegEnumValueW(key.get(), index, name, &nameSize, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data.data()), &dataSize);
        if (result == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
            continue;
        }
        data.resize(dataSize / sizeof(wchar_t));
        data.resize(data.find(L'\0') == std::wstring::npos ? data.size() : data.find(L'\0'));
        values.emplace_back(name, ExpandEnvironment(data));
    }
    return values;
}

// The profile folders the system lists, whoever they belong to.
std::vector<std::wstring> ListedProfiles() {
    std::vector<std::wstring> profiles;
    const wchar_t* list = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
    RegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, list, 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        return profiles;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        if (RegEnumKeyW(key.get(), index, name, 256) != ERROR_SUCCESS) {
            break;
        }
        for (const auto& [valueName, path] : ValuesOf(key.get(), name)) {
            if (_wcsicmp(valueName.c_str(), L"ProfileImagePath") == 0 && !path.empty()) {
                profiles.push_back(path);
            }
        }
    }
    return profiles;
}

}  // namespace

std::vector<ProtectedFolder> ProtectedSystemFolders() {
    std::vector<ProtectedFolder> folders;
    const auto add = [&](const std::string& what, const std::wstring& path) {
        if (!path.empty()) {
            folders.push_back({what, path});
        }
    };
    add("the Windows folder", KnownFolder(FOLDERID_Windows));
    add("the Program Files folder", KnownFolder(FOLDERID_ProgramFiles));
    add("the Program Files (x86) folder", KnownFolder(FOLDERID_ProgramFilesX86));
    add("the ProgramData folder", KnownFolder(FOLDERID_ProgramData));
    add("the folder of the user profiles", KnownFolder(FOLDERID_UserProfiles));
    for (const std::wstring& profile : ListedProfiles()) {
        add("a user's profile folder", profile);
    }
    add("your profile folder", KnownFolder(FOLDERID_Profile));
    const std::wstring roaming = KnownFolder(FOLDERID_RoamingAppData);
    add("your AppData folder", ParentFolderOf(roaming));
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
         ValuesOf(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders")) {
        add("your " + WideToUtf8(name) + " folder", path);
    }
    return folders;
}

std::string ProtectedFolderClash(const std::wstring& folder) {
    const std::vector<ProtectedFolder> folders = ProtectedSystemFolders();
    for (const ProtectedFolder& entry : folders) {
        if (IsSameFolder(folder, entry.path)) {
            return "it is " + entry.what + ".";
        }
    }
    for (const ProtectedFolder& entry : folders) {
        if (IsInsideFolder(entry.path, folder)) {
            return "it contains " + entry.what + " " + WideToUtf8(entry.path) + ".";
        }
    }
    const std::wstring profiles = KnownFolder(FOLDERID_UserProfiles);
    if (!profiles.empty() && IsSameFolder(ParentFolderOf(folder), profiles)) {
        return "it is a user's profile folder.";
    }
    return {};
}

}  // namespace orlenta
