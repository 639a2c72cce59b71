// The operator's modal message boxes and input prompts.
#include "frontend/OperatorDialogs.h"

#include <vector>

#include "frontend/CodePageText.h"
#include "util/Text.h"

namespace orlenta {

namespace {

constexpr int kPromptId = 1001;
constexpr int kAnswerId = 1002;

// An in-memory dialog template: the prompt needs no resource, so any module that links this
// library can show it.
class DialogTemplate {
public:
    DialogTemplate(const std::string& caption, short width, short height, WORD itemCount) {
        Align(4);
        Add<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_CENTER);
        Add<DWORD>(0);
        Add<WORD>(itemCount);
        Add<short>(0);
        Add<short>(0);
        Add<short>(width);
        Add<short>(height);
        Add<WORD>(0);  // no menu
        Add<WORD>(0);  // the standard dialog class
        AddText(caption);
        Add<WORD>(8);
        AddText("MS Shell Dlg");
    }

    void AddItem(DWORD style, short x, short y, short cx, short cy, WORD id, WORD classAtom, const std::string& text) {
        Align(4);
        Add<DWORD>(style | WS_CHILD | WS_VISIBLE);
        Add<DWORD>(0);
        Add<short>(x);
        Add<short>(y);
        Add<short>(cx);
        Add<short>(cy);
        Add<WORD>(id);
        Add<WORD>(0xFFFF);
        Add<WORD>(classAtom);
        AddText(text);
        Add<WORD>(0);  // no creation data
    }

    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    template <typename T>
    void Add(T value) {
        static_assert(sizeof(T) % sizeof(WORD) == 0);
        const auto* parts = reinterpret_cast<const WORD*>(&value);
        words_.insert(words_.end(), parts, parts + sizeof(T) / sizeof(WORD));
    }
    void AddText(const std::string& text) {
        const std::wstring wide = Utf8ToWide(text);
        words_.insert(words_.end(), wide.begin(), wide.end());
        words_.push_back(0);
    }
    void Align(size_t bytes) {
        while ((words_.size() * sizeof(WORD)) % bytes != 0) {
            words_.push_back(0);
        }
    }

    std::vector<WORD> words_;
};

constexpr WORD kButtonAtom = 0x0080;
constexpr WORD kEditAtom = 0x0081;
constexpr WORD kStaticAtom = 0x0082;

struct InputBoxState {
    const std::string* defaultAnswer;
    std::string answer;
};

INT_PTR CALLBACK InputBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            auto* state = reinterpret_cast<InputBoxState*>(lParam);
            SetWindowLongPtrA(dialog, DWLP_USER, lParam);
            const HWND edit = GetDlgItem(dialog, kAnswerId);
            SetWindowTextW(edit, Utf8ToWide(*state->defaultAnswer).c_str());
            // The default stands selected, so typing replaces it as in any prompt.
            SendMessageA(edit, EM_SETSEL, 0, -1);
            SetFocus(edit);
            return FALSE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                // The answer names a folder the script reads from the input file, in the system's code
                // page: one that code page cannot spell ends the prompt as Cancel would, and the run stops.
                const std::string answer = WindowText(GetDlgItem(dialog, kAnswerId));
                if (const auto problem = UnspellableValueMessage("answer", Utf8ToWide(answer))) {
                    ShowMessageBox(dialog, *problem);
                    EndDialog(dialog, IDCANCEL);
                    return TRUE;
                }
                auto* state = reinterpret_cast<InputBoxState*>(GetWindowLongPtrA(dialog, DWLP_USER));
                state->answer = WindowText(GetDlgItem(dialog, kAnswerId));
                EndDialog(dialog, IDOK);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            break;
        default:
            break;
    }
    return FALSE;
}

}  // namespace

std::string WindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return WideToUtf8(text);
}

void SetWindowTextUtf8(HWND window, const std::string& text) { SetWindowTextW(window, Utf8ToWide(text).c_str()); }

void ShowMessageBox(HWND owner, const std::string& text, const std::string& caption) {
    MessageBoxW(owner, Utf8ToWide(text).c_str(), Utf8ToWide(caption).c_str(), MB_OK);
}

bool AskYesNo(HWND owner, const std::string& text, const std::string& caption) {
    return MessageBoxW(owner, Utf8ToWide(text).c_str(), Utf8ToWide(caption).c_str(),
                       MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

std::string ShowInputBox(HWND owner, const std::string& prompt, const std::string& caption,
                         const std::string& defaultAnswer) {
    DialogTemplate dialog(caption, 260, 90, 4);
    dialog.AddItem(SS_LEFT, 7, 7, 185, 50, kPromptId, kStaticAtom, prompt);
    dialog.AddItem(BS_DEFPUSHBUTTON | WS_TABSTOP, 203, 7, 50, 14, IDOK, kButtonAtom, "OK");
    dialog.AddItem(BS_PUSHBUTTON | WS_TABSTOP, 203, 24, 50, 14, IDCANCEL, kButtonAtom, "Cancel");
    dialog.AddItem(ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 7, 66, 246, 14, kAnswerId, kEditAtom, "");

    InputBoxState state{&defaultAnswer, {}};
    const INT_PTR result = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), dialog.Get(), owner, InputBoxProc,
                                                   reinterpret_cast<LPARAM>(&state));
    return result == IDOK ? state.answer : std::string();
}

}  // namespace orlenta
