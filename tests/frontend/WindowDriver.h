// Test helpers that find this process's windows and drive modal dialogs from a second thread.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include <windows.h>
#include <commctrl.h>

namespace orlenta::test {

// Asks the window itself, which also reaches an edit control of another process.
inline std::string TextOf(HWND hwnd) {
    char buffer[1024] = {};
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer), SMTO_NORMAL, 5000,
                        &ignored);
    return buffer;
}

// A visible top-level window of the given process with exactly this caption, polled until the deadline.
inline HWND WaitForWindow(const std::string& caption, DWORD processId = GetCurrentProcessId(),
                          std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    struct Search {
        const std::string* caption;
        DWORD processId;
        HWND found;
    };
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        Search search{&caption, processId, nullptr};
        EnumWindows(
            [](HWND hwnd, LPARAM lParam) -> BOOL {
                auto* s = reinterpret_cast<Search*>(lParam);
                DWORD owner = 0;
                GetWindowThreadProcessId(hwnd, &owner);
                if (owner == s->processId && IsWindowVisible(hwnd) && TextOf(hwnd) == *s->caption) {
                    s->found = hwnd;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr || std::chrono::steady_clock::now() >= deadline) {
            return search.found;
        }
        Sleep(10);
    }
}

// Texts of every descendant window, in the order the system lists them.
inline std::vector<std::string> ChildTexts(HWND parent) {
    std::vector<std::string> texts;
    EnumChildWindows(
        parent,
        [](HWND hwnd, LPARAM lParam) -> BOOL {
            reinterpret_cast<std::vector<std::string>*>(lParam)->push_back(TextOf(hwnd));
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&texts));
    return texts;
}

// Presses a dialog's button the way a click would, without waiting for the dialog to end.
inline void PressButton(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// In the shell's folder picker: waits until its tree has its first selection, then selects `what` (a
// path when `isPath`, else an item list) until the selection has moved away from that first one, or
// once when `expectMove` is false. The tree fills while the dialog is already on the screen.
inline bool SelectInPicker(HWND dialog, bool isPath, LPARAM what, bool expectMove = true) {
    constexpr int kTree = 14145;
    constexpr UINT kSetSelectionA = WM_USER + 102;  // BFFM_SETSELECTIONA
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    auto caret = [dialog] {
        return SendMessageA(GetDlgItem(dialog, kTree), TVM_GETNEXTITEM, TVGN_CARET, 0);
    };
    LRESULT first = 0;
    while ((first = caret()) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        Sleep(10);
    }
    for (;;) {
        SendMessageA(dialog, kSetSelectionA, isPath ? TRUE : FALSE, what);
        if (!expectMove || caret() != first) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        Sleep(20);
    }
}

}  // namespace orlenta::test
