// The system's own folders and every profile's, from the known-folder service and the registry.
#include "util/ProtectedFolders.h"

#include <algorithm>
#include <optional>

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

std::wstring Joined(const std::wstring& folder, const wchar_t* name) {
    return folder.empty() ? std::wstring() : (folder.back() == L'\\' ? folder : folder + L"\\") + name;
}

// Every text value of a key, expanded with `profile` standing for %USERPROFILE%: (name, path).
std::vector<std::pair<std::wstring, std::wstring>> ValuesOf(HKEY root, const std::wstring& subKey,
                                                            const std::wstring& profile = {}) {
    std::vector<std::pair<std::wstring, std::wstring>> values;
    RegKey key;
    if (RegOpenKeyExW(root, subKey.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
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
        data.resize(std::min(data.size(), data.find(L'\0')));
        // Another account's %USERPROFILE% is its own profile, not the running account's.
        constexpr std::wstring_view kUserProfile = L"%USERPROFILE%";
        if (!profile.empty() && _wcsnicmp(data.c_str(), kUserProfile.data(), kUserProfile.size()) == 0) {
            data = profile + data.substr(kUserProfile.size());
        }
        values.emplace_back(name, ExpandEnvironment(data));
    }
    return values;
}

struct Profile {
    std::wstring sid;
    std::wstring path;
};

// The profile folders the system lists, whoever they belong to.
std::vector<Profile> ListedProfiles() {
    std::vector<Profile> profiles;
    const std::wstring list = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
    RegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, list.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        return profiles;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t sid[256];
        if (RegEnumKeyW(key.get(), index, sid, 256) != ERROR_SUCCESS) {
            break;
        }
        for (const auto& [valueName, path] : ValuesOf(HKEY_LOCAL_MACHINE, list + L"\\" + sid)) {
            if (_wcsicmp(valueName.c_str(), L"ProfileImagePath") == 0 && !path.empty()) {
                profiles.push_back({sid, path});
            }
        }
    }
    return profiles;
}

// The folders the system names after the shell's own value names in "User Shell Folders".
const wchar_t* ShellFolderWhat(const std::wstring& valueName) {
    static const std::pair<const wchar_t*, const wchar_t*> names[] = {
        {L"Desktop", L"Desktop"}, {L"Personal", L"Documents"}, {L"{374DE290-123F-4565-9164-39C4925E467B}", L"Downloads"},
        {L"My Music", L"Music"},  {L"My Pictures", L"Pictures"}, {L"My Video", L"Videos"},
    };
    for (const auto& [value, what] : names) {
        if (_wcsicmp(valueName.c_str(), value) == 0) {
            return what;
        }
    }
    return nullptr;
}

constexpr const wchar_t* kKnownNames[] = {L"Desktop", L"Documents", L"Downloads", L"Music", L"Pictures", L"Videos"};

}  // namespace

std::vector<ProtectedFolder> ProtectedSystemFolders() {
    std::vector<ProtectedFolder> folders;
    const auto add = [&](const std::string& what, const std::wstring& path, Protection reach = Protection::Itself,
                         const std::wstring& allowedInside = {}) {
        if (!path.empty()) {
            folders.push_back({what, path, reach, allowedInside});
        }
    };
    // Every profile by its default layout; a service account's night protects everybody's.
    const auto addProfile = [&](const std::string& whose, const std::wstring& profile) {
        add(whose + " profile folder", profile);
        const std::wstring temp = Joined(profile, L"AppData\\Local\\Temp");
        add(whose + " AppData folder", Joined(profile, L"AppData"), Protection::Tree, temp);
        add(whose + " temporary folder", temp);
        for (const wchar_t* name : kKnownNames) {
            add(whose + " " + WideToUtf8(name) + " folder", Joined(profile, name));
        }
    };
    // The running account's first, so a message names them as its own.
    addProfile("your", KnownFolder(FOLDERID_Profile));
    // The running account's own answers, redirections included.
    const std::wstring roaming = KnownFolder(FOLDERID_RoamingAppData);
    const std::wstring temp = [] {
        wchar_t path[MAX_PATH + 1] = {};
        const DWORD length = GetTempPathW(MAX_PATH + 1, path);
        std::wstring text(path, length > MAX_PATH ? 0 : length);
        while (text.size() > 3 && text.back() == L'\\') {
            text.pop_back();
        }
        return text;
    }();
    add("your AppData folder", ParentFolderOf(roaming), Protection::Tree, temp);
    add("your AppData\\Roaming folder", roaming, Protection::Tree);
    add("your AppData\\Local folder", KnownFolder(FOLDERID_LocalAppData), Protection::Tree, temp);
    add("your AppData\\LocalLow folder", KnownFolder(FOLDERID_LocalAppDataLow), Protection::Tree);
    add("your temporary folder", temp);
    const std::pair<const char*, REFKNOWNFOLDERID> known[] = {
        {"your Desktop folder", FOLDERID_Desktop},     {"your Documents folder", FOLDERID_Documents},
        {"your Downloads folder", FOLDERID_Downloads}, {"your Music folder", FOLDERID_Music},
        {"your Pictures folder", FOLDERID_Pictures},   {"your Videos folder", FOLDERID_Videos},
    };
    for (const auto& [what, id] : known) {
        add(what, KnownFolder(id));
    }
    // Redirections the known-folder service may not have taken up yet.
    for (const auto& [name, path] :
         ValuesOf(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders")) {
        const wchar_t* what = ShellFolderWhat(name);
        add("your " + WideToUtf8(what != nullptr ? what : name) + " folder", path);
    }
    add("the Windows folder", KnownFolder(FOLDERID_Windows), Protection::Tree);
    add("the Program Files folder", KnownFolder(FOLDERID_ProgramFiles), Protection::Tree);
    add("the Program Files (x86) folder", KnownFolder(FOLDERID_ProgramFilesX86), Protection::Tree);
    add("the ProgramData folder", KnownFolder(FOLDERID_ProgramData), Protection::Tree);
    add("the folder of the user profiles", KnownFolder(FOLDERID_UserProfiles));

    const std::vector<Profile> profiles = ListedProfiles();
    for (const Profile& profile : profiles) {
        addProfile("a user's", profile.path);
        // A loaded profile's redirections, with its own %USERPROFILE%.
        for (const auto& [name, path] :
             ValuesOf(HKEY_USERS, profile.sid + L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                      profile.path)) {
            if (const wchar_t* what = ShellFolderWhat(name)) {
                add("a user's " + WideToUtf8(what) + " folder", path);
            }
        }
    }
    add("the Public profile folder", KnownFolder(FOLDERID_Public));
    const std::pair<const char*, REFKNOWNFOLDERID> publicFolders[] = {
        {"the Public Desktop folder", FOLDERID_PublicDesktop},     {"the Public Documents folder", FOLDERID_PublicDocuments},
        {"the Public Downloads folder", FOLDERID_PublicDownloads}, {"the Public Music folder", FOLDERID_PublicMusic},
        {"the Public Pictures folder", FOLDERID_PublicPictures},   {"the Public Videos folder", FOLDERID_PublicVideos},
    };
    for (const auto& [what, id] : publicFolders) {
        add(what, KnownFolder(id));
    }
    return folders;
}

namespace {

bool Holds(const std::vector<FileIdentity>& identities, const std::optional<FileIdentity>& identity) {
    return identity && std::find(identities.begin(), identities.end(), *identity) != identities.end();
}

}  // namespace

std::string ProtectedFolderClash(const FileIdentity& folder, const std::vector<FileIdentity>& above) {
    const std::vector<ProtectedFolder> folders = ProtectedSystemFolders();
    struct Known {
        const ProtectedFolder* entry;
        FileIdentity identity;
    };
    std::vector<Known> known;
    for (const ProtectedFolder& entry : folders) {
        if (const auto identity = IdentityAt(entry.path)) {
            known.push_back({&entry, *identity});
        }
    }
    const auto named = [](const ProtectedFolder& entry) { return entry.what + " " + WideToUtf8(entry.path) + "."; };
    for (const Known& k : known) {
        if (k.identity == folder) {
            return "it is " + named(*k.entry);
        }
    }
    for (const Known& k : known) {
        // Inside a temporary folder the insides stay allowed, whatever tree holds it.
        if (k.entry->reach == Protection::Tree && Holds(above, k.identity) &&
            !(!k.entry->allowedInside.empty() && Holds(above, IdentityAt(k.entry->allowedInside)))) {
            return "it lies inside " + named(*k.entry);
        }
    }
    for (const Known& k : known) {
        if (Holds(IdentitiesAbove(k.entry->path), folder)) {
            return "it contains " + named(*k.entry);
        }
    }
    const auto profiles = IdentityAt(KnownFolder(FOLDERID_UserProfiles));
    if (profiles && !above.empty() && above.front() == *profiles) {
        return "it is a user's profile folder.";
    }
    return {};
}

}  // namespace orlenta
