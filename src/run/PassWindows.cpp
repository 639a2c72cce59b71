// What a pass was showing: the visible windows of the processes in its job, their texts and pictures.
#include "run/PassWindows.h"

#include <algorithm>
#include <utility>

#include "run/PassJob.h"
#include "run/WindowPicture.h"
#include "util/AppError.h"
#include "util/LongPath.h"
#include "util/PathForm.h"
#include "util/Text.h"

namespace orlenta {

namespace {

// Enough for any box a solver puts up; a pass that opened hundreds of windows is told by the first.
constexpr std::size_t kMostWindows = 16;
constexpr std::size_t kMostControls = 64;
constexpr int kMostCharacters = 1000;
constexpr UINT kTextWaitMs = 1000;
constexpr const char* kDeadlinePassed = "not recorded: the deadline passed";

UINT MillisecondsUntil(ULONGLONG deadline) {
    const ULONGLONG now = GetTickCount64();
    return now >= deadline ? 0 : static_cast<UINT>(std::min<ULONGLONG>(deadline - now, kTextWaitMs));
}

std::string ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return ToLowerText(WideToUtf8(name));
}

// A window of another process keeps its caption where it can be read without a message; an edit
// box keeps its text to itself, so it is asked, briefly and not at all when its thread hangs.
std::string TextOf(HWND window, bool ask, ULONGLONG deadline = 0) {
    std::wstring text(kMostCharacters + 1, L'\0');
    int length = 0;
    if (ask) {
        DWORD_PTR copied = 0;
        if (SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                                SMTO_ABORTIFHUNG, MillisecondsUntil(deadline), &copied)) {
            length = static_cast<int>(std::min<DWORD_PTR>(copied, kMostCharacters));
        }
    } else {
        length = GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
    }
    text.resize(static_cast<std::size_t>(std::max(length, 0)));
    return WideToUtf8(text);
}

// "&OK" is drawn as OK with its letter underlined; "&&" is a plain ampersand.
std::string WithoutMnemonics(const std::string& text) {
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) {
            ++i;
        }
        plain += text[i];
    }
    return plain;
}

std::string ControlText(HWND control, ULONGLONG deadline) {
    const std::string kind = ClassOf(control);
    if (kind == "edit" || kind.rfind("richedit", 0) == 0) {
        const std::string text = TextOf(control, true, deadline);
        return text.empty() ? text : "<" + text + ">";
    }
    const std::string text = WithoutMnemonics(TextOf(control, false));
    if (text.empty()) {
        return text;
    }
    return kind == "button" ? "[" + text + "]" : "\"" + text + "\"";
}

std::string Describe(HWND window, DWORD processId, ULONGLONG deadline) {
    std::string line = ProcessImageName(processId) + " (" + std::to_string(processId) + "): \"" +
                       TextOf(window, false) + "\"";
    std::vector<HWND> controls;
    EnumChildWindows(
        window,
        [](HWND child, LPARAM lParam) -> BOOL {
            auto* found = reinterpret_cast<std::vector<HWND>*>(lParam);
            if (IsWindowVisible(child)) {
                found->push_back(child);
            }
            return found->size() < kMostControls;
        },
        reinterpret_cast<LPARAM>(&controls));
    // In reading order, as the box shows them: top to bottom, then left to right.
    const auto place = [](HWND control) {
        RECT rect{};
        GetWindowRect(control, &rect);
        return std::pair(rect.top, rect.left);
    };
    std::stable_sort(controls.begin(), controls.end(), [&](HWND a, HWND b) { return place(a) < place(b); });
    const char* separator = " - ";
    for (const HWND control : controls) {
        if (GetTickCount64() >= deadline) {
            return line + " (its other texts " + kDeadlinePassed + ")";
        }
        const std::string text = ControlText(control, deadline);
        if (!text.empty()) {
            line += separator + text;
            separator = " ";
        }
    }
    return line;
}

struct Search {
    const std::vector<DWORD>* ids;
    std::vector<std::pair<HWND, DWORD>> found;
};

}  // namespace

PassWindows RecordPassWindows(HANDLE job, const std::wstring& picturePrefix, DWORD withinMs) {
    const ULONGLONG deadline = GetTickCount64() + withinMs;
    const std::vector<DWORD> ids = JobProcessIds(job);
    Search search{&ids, {}};
    EnumWindows(
        [](HWND window, LPARAM lParam) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lParam);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (IsWindowVisible(window) && std::find(s->ids->begin(), s->ids->end(), owner) != s->ids->end()) {
                s->found.emplace_back(window, owner);
            }
            return s->found.size() < kMostWindows;
        },
        reinterpret_cast<LPARAM>(&search));

    PassWindows windows;
    if (!picturePrefix.empty() && !search.found.empty()) {
        const std::wstring folder = ParentFolderOf(picturePrefix);
        if (!folder.empty()) {
            CreateDirectoryW(ExtendedLengthPath(folder).c_str(), nullptr);
        }
    }
    for (std::size_t i = 0; i < search.found.size(); ++i) {
        if (GetTickCount64() >= deadline) {
            const std::size_t left = search.found.size() - i;
            windows.Lines.push_back(std::to_string(left) + (i == 0 ? "" : " more") +
                                    (left == 1 ? " window " : " windows ") + kDeadlinePassed);
            if (!picturePrefix.empty()) {
                windows.Pictures.emplace_back();
            }
            break;
        }
        std::string line = Describe(search.found[i].first, search.found[i].second, deadline);
        if (!picturePrefix.empty()) {
            windows.Pictures.emplace_back();
            if (GetTickCount64() >= deadline) {
                line += std::string(" (picture ") + kDeadlinePassed + ")";
            } else {
                const std::wstring picture = picturePrefix + std::to_wstring(i + 1) + L".png";
                try {
                    SaveWindowPicture(search.found[i].first, picture);
                    windows.Pictures.back() = WideToUtf8(picture);
                } catch (const AppError& error) {
                    line += " (no picture: " + error.Description() + ")";
                }
            }
        }
        windows.Lines.push_back(std::move(line));
    }
    return windows;
}

}  // namespace orlenta
