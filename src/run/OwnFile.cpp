// The files the run makes at names it chooses or is given: plain files of one name, or none.
#include "run/OwnFile.h"

#include "util/FileIdentity.h"
#include "util/LongPath.h"

namespace orlenta {

namespace {

constexpr const char* kLinkReason = "is a link: the run writes and deletes no file through a link.";
constexpr const char* kNowhereReason =
    "is a link that leads to nothing the run can see: the run makes no file through a link.";

}  // namespace

std::optional<std::string> NotOwnFileReason(const std::wstring& path, HANDLE file) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if ((GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag) &&
         IsLinkAttributes(tag.FileAttributes, tag.ReparseTag)) ||
        IsLinkAt(path)) {
        return kLinkReason;
    }
    if (const unsigned long names = LinkCountOf(file); names > 1) {
        return "has " + std::to_string(names) +
               " names (hard links): writing it would change the file under its other names.";
    }
    return std::nullopt;
}

OwnFileOpening OpenOwnFile(const std::wstring& path, DWORD access, DWORD share, DWORD flags) {
    const std::wstring longPath = ExtendedLengthPath(path);
    OwnFileOpening opening;
    // A file that goes between the making and the opening (a run that ended) is met again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        opening.File.reset(CreateFileW(longPath.c_str(), access, share, nullptr, CREATE_NEW,
                                       flags | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (opening.File) {
            opening.Made = true;
            return opening;
        }
        opening.Error = GetLastError();
        if (opening.Error != ERROR_FILE_EXISTS && opening.Error != ERROR_ALREADY_EXISTS) {
            return opening;
        }
        // What is there is opened as it is: no delete-on-close, no link followed where the system can help it.
        opening.File.reset(CreateFileW(longPath.c_str(), access, share, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (opening.File) {
            opening.Error = 0;
            if (auto reason = NotOwnFileReason(path, opening.File.get())) {
                opening.File.reset();
                opening.Refusal = std::move(*reason);
            }
            return opening;
        }
        opening.Error = GetLastError();
        if (opening.Error != ERROR_FILE_NOT_FOUND) {
            return opening;
        }
    }
    // Under Wine a Unix link that leads nowhere is not listed and cannot be opened, yet its name is taken.
    opening.Refusal = kNowhereReason;
    return opening;
}

std::optional<std::string> BeginningOf(HANDLE file) {
    LARGE_INTEGER start{};
    std::string bytes(4096, '\0');
    DWORD read = 0;
    if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN) ||
        !ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) {
        return std::nullopt;
    }
    bytes.resize(read);
    return bytes;
}

}  // namespace orlenta
