// A folder opened from its root one component at a time, none of them a link.
#include "util/FolderChain.h"

#include "util/AppError.h"
#include "util/FileIdentity.h"
#include "util/LongPath.h"
#include "util/PathForm.h"
#include "util/Text.h"

namespace orlenta {

namespace {

constexpr ACCESS_MASK kChainAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;

std::vector<std::wstring> ComponentsBelow(const std::wstring& root, const std::wstring& fullPath) {
    std::vector<std::wstring> components;
    std::size_t start = root.size();
    while (start < fullPath.size()) {
        const std::size_t end = fullPath.find(L'\\', start);
        const std::wstring part = fullPath.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (!part.empty()) {
            components.push_back(part);
        }
        if (end == std::wstring::npos) {
            break;
        }
        start = end + 1;
    }
    return components;
}

}  // namespace

std::wstring FolderChain::ReachedPath() const {
    if (handles.empty()) {
        return {};
    }
    std::wstring path = FinalPathOf(handles.front().get());
    for (const ListedEntry& entry : entries) {
        path += (path.empty() || path.back() == L'\\' ? L"" : L"\\") + entry.name;
    }
    return path;
}

FolderChain OpenFolderChain(const std::wstring& fullPath) {
    FolderChain chain;
    const std::wstring root = RootOf(fullPath);
    if (root.empty()) {
        chain.refusal = "it has no drive or share to start from";
        return chain;
    }
    chain.components = ComponentsBelow(root, fullPath);
    // The drive or share itself is taken as the system maps it.
    FileHandle top(CreateFileW(ExtendedLengthPath(root).c_str(), kChainAccess,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!top) {
        if (GetLastError() != ERROR_FILE_NOT_FOUND && GetLastError() != ERROR_PATH_NOT_FOUND) {
            chain.refusal = "its drive " + WideToUtf8(root) + " cannot be opened: " + SystemMessage(GetLastError());
        }
        return chain;
    }
    chain.handles.push_back(std::move(top));
    std::wstring path = root;
    for (const std::wstring& component : chain.components) {
        path += (path.back() == L'\\' ? L"" : L"\\") + component;
        const auto entry = LookUpEntry(chain.handles.back().get(), component);
        if (!entry) {
            return chain;  // it does not exist: nothing below it can
        }
        const std::string named = "its part " + WideToUtf8(path);
        // Where the link leads, when the system says: the message names what it would have reached.
        const auto link = [&] {
            const FileHandle target = OpenToLook(path);
            const std::wstring reached = target ? FinalPathOf(target.get()) : std::wstring();
            return named + " is a link" + (reached.empty() ? std::string() : " to " + WideToUtf8(reached));
        };
        if (IsLinkAttributes(entry->attributes, entry->tag)) {
            chain.refusal = link();
            return chain;
        }
        if ((entry->attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            return chain;  // a file: no folder of that path exists
        }
        DWORD error = 0;
        FileHandle handle = OpenRelative(chain.handles.back().get(), entry->name, kChainAccess, FILE_DIRECTORY_FILE, error);
        if (!handle) {
            if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
                chain.refusal = named + " cannot be opened: " + SystemMessage(error);
            }
            return chain;
        }
        // Wine opens a Unix link as its target whatever it is asked: the target has another file ID.
        LONGLONG id = 0;
        if (!HandleId(handle.get(), id)) {
            chain.refusal = named + " cannot be told apart from a link: the system does not say which folder it is";
            return chain;
        }
        FILE_ATTRIBUTE_TAG_INFO tag{};
        const bool reparse = GetFileInformationByHandleEx(handle.get(), FileAttributeTagInfo, &tag, sizeof tag) &&
                             IsLinkAttributes(tag.FileAttributes, tag.ReparseTag);
        if (id != entry->id || reparse) {
            chain.refusal = link();
            return chain;
        }
        chain.handles.push_back(std::move(handle));
        chain.entries.push_back(*entry);
    }
    return chain;
}

}  // namespace orlenta
