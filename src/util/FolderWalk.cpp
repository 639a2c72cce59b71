// Clearing a folder by handle.
#include "util/FolderWalk.h"

#include <functional>
#include <map>
#include <set>
#include <utility>

#include "util/FileIdentity.h"
#include "util/FolderWalkTestHook.h"
#include "util/LongPath.h"

namespace orlenta {

namespace {

std::function<void(const std::wstring&)>& FolderListedHook() {
    static std::function<void(const std::wstring&)> hook;
    return hook;
}

void FolderListed(const std::wstring& path) {
    if (FolderListedHook()) {
        FolderListedHook()(path);
    }
}

// A folder on the walk's stack: its handle, its entries as listed, how far they were visited.
struct WalkFolder {
    FileHandle owned;  // empty for the top, which the caller holds
    HANDLE handle = nullptr;
    std::wstring path;
    std::vector<ListedEntry> entries;
    std::size_t next = 0;
    ListedEntry self;       // as its parent listed it; empty for the top
    std::size_t mark = 0;   // the visitor's own bookkeeping
};

// A folder to descend into: its handle, its entries, and the visitor's first mark for it.
struct Descent {
    FileHandle handle;
    std::vector<ListedEntry> entries;
    std::size_t mark = 0;
};

// One depth-first walk by handle on a stack of its own, so the depth of a tree never grows the
// thread's stack; each folder is listed whole before its entries are visited. `visit(folder,
// entry, path)` gives a folder to descend into, or nothing; `leave(folder, parent)` is told when a
// folder's entries are done (the parent is null for the top).
template <typename Visit, typename Leave>
void WalkByHandle(HANDLE top, const std::wstring& topPath, std::vector<ListedEntry> topEntries, Visit visit,
                  Leave leave) {
    std::vector<WalkFolder> stack;
    stack.push_back({FileHandle(), top, topPath, std::move(topEntries), 0, {}, 0});
    while (!stack.empty()) {
        WalkFolder& folder = stack.back();
        if (folder.next == folder.entries.size()) {
            WalkFolder done = std::move(stack.back());
            stack.pop_back();
            leave(done, stack.empty() ? nullptr : &stack.back());
            continue;
        }
        const ListedEntry entry = folder.entries[folder.next++];
        const std::wstring path = folder.path + L"\\" + entry.name;
        if (std::optional<Descent> descent = visit(folder, entry, path)) {
            const HANDLE raw = descent->handle.get();
            stack.push_back({std::move(descent->handle), raw, path, std::move(descent->entries), 0, entry, descent->mark});
        }
    }
}

constexpr ACCESS_MASK kListAccess = FILE_LIST_DIRECTORY | FILE_WRITE_ATTRIBUTES;
constexpr ACCESS_MASK kEntryAccess = DELETE | FILE_WRITE_ATTRIBUTES;

bool IsGone(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// Why a folder or file the walk could not open or delete stays.
RemainingEntry Refused(const std::wstring& path, DWORD error) {
    if (error == ERROR_FILENAME_EXCED_RANGE || (IsGone(error) && BeyondPathLimit(path))) {
        return {path, 0, RemainReason::TooDeep};
    }
    return {path, error, RemainReason::SystemError};
}

class Clearing {
public:
    std::map<std::wstring, RemainingEntry> outcomes;  // by full path: why an entry stays
    std::set<std::wstring> accepted;                  // full paths whose deletion the system accepted
    std::set<std::wstring> listed;                    // folders whose entries the walk visited

    void Keep(const RemainingEntry& entry) { outcomes[entry.path] = entry; }
    void Keep(const std::wstring& path, RemainReason reason) { Keep({path, 0, reason}); }

    std::optional<Descent> Visit(WalkFolder& folder, const ListedEntry& entry, const std::wstring& path) {
        const bool isFolder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const bool link = IsLinkAttributes(entry.attributes, entry.tag);
        // Folders whose name starts with a full stop are kept whole: they may be kept on purpose.
        if (isFolder && !link && entry.name[0] == L'.') {
            Keep(path, RemainReason::DotName);
            return std::nullopt;
        }
        DWORD error = 0;
        FileHandle handle = OpenRelative(folder.handle, entry.name, isFolder && !link ? kListAccess : kEntryAccess,
                                         link ? 0 : (isFolder ? FILE_DIRECTORY_FILE : FILE_NON_DIRECTORY_FILE), error);
        if (!handle) {
            // Gone since the listing is no failure; a folder that became a file, or the reverse,
            // fails the open's kind and stays, named with the system's reason.
            if (!IsGone(error) || BeyondPathLimit(path)) {
                Keep(Refused(path, error));
            }
            return std::nullopt;
        }
        // A file is judged by the path its handle reaches (below); only folders and links are
        // judged by their file ID, which saves a call per file.
        LONGLONG id = entry.id;
        if ((isFolder || link) && !HandleId(handle.get(), id)) {
            Keep({path, ERROR_ACCESS_DENIED, RemainReason::SystemError});
            return std::nullopt;
        }
        // An entry replaced since the listing, or a link the platform followed anyway, reaches
        // another file ID: it is neither entered nor deleted.
        if (id != entry.id) {
            Keep(path, link ? RemainReason::LinkKept : RemainReason::Changed);
            return std::nullopt;
        }
        if (link && (HandleAttributes(handle.get()) & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
            // Wine opens a Unix link's target even when asked for the link: deleting through this
            // handle would act on the target.
            Keep(path, RemainReason::LinkKept);
            return std::nullopt;
        }
        if (!isFolder && !link && !ReachesItsOwnPath(folder, handle.get(), entry, path)) {
            return std::nullopt;
        }
        if (!isFolder || link) {
            // A read-only file with other names keeps its mark: clearing it would change them too.
            const bool linked = !link && (entry.attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
                                LinkCountOf(handle.get()) > 1;
            error = DeleteThroughHandle(handle.get(), entry.attributes, linked);
            if (error != 0) {
                Keep(linked && error == ERROR_ACCESS_DENIED ? RemainingEntry{path, 0, RemainReason::LinkedReadOnly}
                                                            : Refused(path, error));
            } else {
                accepted.insert(path);
            }
            return std::nullopt;
        }
        // A read-only folder keeps its entries from being deleted under Wine (its host folder is
        // not writable): clear it before its contents.
        if ((entry.attributes & FILE_ATTRIBUTE_READONLY) != 0) {
            ClearReadOnly(handle.get());
        }
        Descent descent{std::move(handle), {}, 0};
        // Unreadable: still try to remove it (it may be empty); its error names it if not.
        if (ListByHandle(descent.handle.get(), descent.entries)) {
            listed.insert(path);
        } else {
            descent.entries.clear();
        }
        FolderListed(path);
        return descent;
    }

    void Leave(const WalkFolder& folder, const WalkFolder* parent) {
        // The confirmed folder itself stays; removing it is the caller's step.
        if (parent == nullptr) {
            return;
        }
        if (auto stays = RemoveEmptiedFolder(parent->handle, folder.self, folder.path)) {
            Keep(*stays);
        } else {
            accepted.insert(folder.path);
        }
    }

private:
    // Wine lists a Unix link to a file as a plain file and opens its target, with the target's
    // file ID, and deleting through that handle deletes the target. Only the path the handle
    // reaches tells it: it must be this folder's path and the listed name.
    bool ReachesItsOwnPath(WalkFolder& folder, HANDLE handle, const ListedEntry& entry, const std::wstring& path) {
        if (folder.mark == 0) {
            std::wstring own = ObjectName(folder.handle);
            if (!own.empty() && own.back() == L'\\') {
                own.pop_back();
            }
            finalPaths_.push_back(std::move(own));
            folder.mark = finalPaths_.size();
        }
        const std::wstring& own = finalPaths_[folder.mark - 1];
        const std::wstring reached = own.empty() ? std::wstring() : ObjectName(handle);
        // Unread, it might be such a link: kept, never deleted on trust.
        if (reached.empty()) {
            Keep(path, RemainReason::Unchecked);
            return false;
        }
        if (CompareStringOrdinal(reached.c_str(), -1, (own + L"\\" + entry.name).c_str(), -1, TRUE) != CSTR_EQUAL) {
            Keep(path, RemainReason::LinkKept);
            return false;
        }
        return true;
    }

    std::vector<std::wstring> finalPaths_;  // the path each folder's handle reaches, read when a file is met
};

// What is still below the folder, listed again by handle: each entry with nothing remaining below
// it, with the reason the walk knows for it.
std::vector<RemainingEntry> ListRemaining(HANDLE top, const std::wstring& topPath, const Clearing& clearing) {
    std::vector<RemainingEntry> remaining;
    const auto name = [&](const std::wstring& path, const std::wstring& parentPath, std::size_t before) {
        if (remaining.size() != before) {
            return;  // an entry is named only when nothing below it remains
        }
        if (const auto known = clearing.outcomes.find(path); known != clearing.outcomes.end()) {
            remaining.push_back(known->second);
        } else if (clearing.accepted.count(path) != 0) {
            remaining.push_back({path, 0, BeyondPathLimit(path) ? RemainReason::TooDeep : RemainReason::HeldOpen});
        } else if (clearing.listed.count(parentPath) != 0 || parentPath == topPath) {
            remaining.push_back({path, 0, RemainReason::Changed});  // it appeared while the walk ran
        } else {
            remaining.push_back({path, 0, RemainReason::NotReached});
        }
    };
    std::vector<ListedEntry> entries;
    if (!ListByHandle(top, entries)) {
        return remaining;
    }
    WalkByHandle(
        top, topPath, std::move(entries),
        [&](WalkFolder& folder, const ListedEntry& entry, const std::wstring& path) -> std::optional<Descent> {
            const std::size_t before = remaining.size();
            const auto known = clearing.outcomes.find(path);
            const bool descend = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                                 !IsLinkAttributes(entry.attributes, entry.tag) && entry.name[0] != L'.' &&
                                 (known == clearing.outcomes.end() || known->second.reason == RemainReason::SystemError ||
                                  known->second.reason == RemainReason::InUse);
            if (descend) {
                DWORD error = 0;
                // Its mark: what remained before it was entered.
                Descent descent{OpenRelative(folder.handle, entry.name, FILE_LIST_DIRECTORY, FILE_DIRECTORY_FILE, error),
                                {}, before};
                LONGLONG id = 0;
                if (descent.handle && HandleId(descent.handle.get(), id) && id == entry.id &&
                    ListByHandle(descent.handle.get(), descent.entries)) {
                    return descent;
                }
            }
            name(path, folder.path, before);
            return std::nullopt;
        },
        [&](const WalkFolder& folder, const WalkFolder* parent) {
            if (parent != nullptr) {
                name(folder.path, parent->path, folder.mark);
            }
        });
    return remaining;
}

}  // namespace

std::optional<RemainingEntry> RemoveEmptiedFolder(HANDLE parent, const ListedEntry& entry, const std::wstring& path) {
    DWORD error = 0;
    const FileHandle handle = OpenRelative(parent, entry.name, DELETE | FILE_WRITE_ATTRIBUTES, FILE_DIRECTORY_FILE, error);
    if (!handle) {
        // Another program holds it without sharing its deletion: its current folder, say.
        if (error == ERROR_SHARING_VIOLATION) {
            return RemainingEntry{path, 0, RemainReason::InUse};
        }
        return IsGone(error) && !BeyondPathLimit(path) ? std::nullopt : std::optional(Refused(path, error));
    }
    LONGLONG id = 0;
    if (!HandleId(handle.get(), id)) {
        return RemainingEntry{path, ERROR_ACCESS_DENIED, RemainReason::SystemError};
    }
    if (id != entry.id) {
        return RemainingEntry{path, 0, RemainReason::Changed};
    }
    const DWORD deleted = DeleteThroughHandle(handle.get(), entry.attributes, false);
    return deleted == 0 ? std::nullopt : std::optional(Refused(path, deleted));
}

std::vector<RemainingEntry> ClearFolderByHandle(HANDLE folder, const std::wstring& folderPath) {
    std::vector<ListedEntry> entries;
    if (!ListByHandle(folder, entries)) {
        return {};
    }
    FolderListed(folderPath);
    Clearing clearing;
    clearing.listed.insert(folderPath);
    WalkByHandle(
        folder, folderPath, std::move(entries),
        [&](WalkFolder& parent, const ListedEntry& entry, const std::wstring& path) {
            return clearing.Visit(parent, entry, path);
        },
        [&](const WalkFolder& done, const WalkFolder* parent) { clearing.Leave(done, parent); });
    return ListRemaining(folder, folderPath, clearing);
}

std::vector<RemainingEntry> ClearFolderByHandle(const std::wstring& fullFolderPath) {
    std::wstring topPath = fullFolderPath;
    while (topPath.size() > 3 && topPath.back() == L'\\') {
        topPath.pop_back();
    }
    // The one use of the path text: the folder is opened once, the reparse point itself if it is one.
    const FileHandle top(CreateFileW(ExtendedLengthPath(topPath).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES |
                                         SYNCHRONIZE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!top || (HandleAttributes(top.get()) & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return {};
    }
    if (IsLinkAt(topPath)) {
        return {{WithoutExtendedPrefix(topPath), 0, RemainReason::LinkKept}};
    }
    return ClearFolderByHandle(top.get(), WithoutExtendedPrefix(topPath));
}

}  // namespace orlenta

namespace orlenta::test_hooks {

void SetFolderListedHook(std::function<void(const std::wstring& folderPath)> hook) {
    FolderListedHook() = std::move(hook);
}

}  // namespace orlenta::test_hooks
