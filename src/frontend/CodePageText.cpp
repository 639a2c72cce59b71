// Texts the system's ANSI code page cannot hold.
#include "frontend/CodePageText.h"

#include <algorithm>
#include <vector>

#include "util/Text.h"

namespace orlenta {

namespace {

std::wstring WindowTextW(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return text;
}

}  // namespace

bool FitsAnsiCodePage(std::wstring_view text) {
    if (text.empty()) {
        return true;
    }
    const int size = static_cast<int>(text.size());
    // A UTF-8 system code page holds every character; it also refuses the flags below.
    if (GetACP() == CP_UTF8) {
        return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), size, nullptr, 0, nullptr, nullptr) > 0;
    }
    // Each UTF-16 unit needs at most two bytes in a double-byte code page.
    std::vector<char> converted(text.size() * 2 + 1);
    BOOL usedDefault = FALSE;
    const int written = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), size, converted.data(),
                                            static_cast<int>(converted.size()), nullptr, &usedDefault);
    return written > 0 && !usedDefault;
}

std::optional<std::string> UnspellableValueMessage(std::string_view valueName, std::wstring_view value) {
    if (FitsAnsiCodePage(value)) {
        return std::nullopt;
    }
    return "The " + std::string(valueName) + " \"" + WideToAnsi(value) +
           "\" holds characters that the system's code page cannot represent, so nothing was run. "
           "Rename the folder, or give it by its short name.";
}

std::optional<std::string> UnspellableCommandLineMessage(std::wstring_view fullCommandLine) {
    // The program's name ends at its closing quote, or unquoted at the first space or tab.
    size_t pos = 0;
    if (!fullCommandLine.empty() && fullCommandLine[0] == L'"') {
        const size_t close = fullCommandLine.find(L'"', 1);
        pos = close == std::wstring_view::npos ? fullCommandLine.size() : close + 1;
    } else {
        pos = std::min(fullCommandLine.find_first_of(L" \t"), fullCommandLine.size());
    }
    // Each argument is named as it was written, quotes included, up to the next space or tab.
    while (pos < fullCommandLine.size()) {
        const size_t start = fullCommandLine.find_first_not_of(L" \t", pos);
        if (start == std::wstring_view::npos) {
            break;
        }
        const size_t end = std::min(fullCommandLine.find_first_of(L" \t", start), fullCommandLine.size());
        if (auto message = UnspellableValueMessage("command-line value", fullCommandLine.substr(start, end - start))) {
            return message;
        }
        pos = end;
    }
    return std::nullopt;
}

std::optional<std::string> UnspellableProgramFolderMessage() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return std::nullopt;
        }
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return UnspellableValueMessage("program's folder", path.substr(0, path.find_last_of(L'\\')));
}

std::optional<std::string> UnspellableWindowTextMessage(std::initializer_list<std::pair<const char*, HWND>> windows) {
    for (const auto& [name, window] : windows) {
        if (auto message = UnspellableValueMessage(name, WindowTextW(window))) {
            return message;
        }
    }
    return std::nullopt;
}

}  // namespace orlenta
