// frmOrlenta: the program's one window, its messages and its handlers.
#include "frontend/frmOrlenta.h"

#include <array>
#include <exception>
#include <string_view>
#include <utility>

#include <commctrl.h>

#include "frontend/AboutBox.h"
#include "frontend/OperatorDialogs.h"
#include "frontend/StartUp.h"
#include "frontend/frmOrlentaLayout.h"
#include "util/AppError.h"
#include "util/AppPaths.h"
#include "util/Text.h"

namespace orlenta {

namespace {

using form_layout::kFirstControlId;
using form_layout::Named;

// The dialog text of each browse button, by index.
constexpr std::array<const char*, 3> kBrowseTexts{
    "for AVE Folder", "for Norvik Kavro Installation Folder", "for Testing Folder"};
constexpr long kNewDialogStyle = 0x40;  // BIF_NEWDIALOGSTYLE
constexpr long kDesktopRoot = 0;

}  // namespace

frmOrlenta::frmOrlenta(FormSeams seams) : seams_(std::move(seams)) {
    // Returns nothing to examine: a failure shows later as a control that cannot be created.
    InitCommonControls();
}

frmOrlenta::~frmOrlenta() {
    if (hwnd_ != nullptr) {
        DestroyWindow(hwnd_);
    }
}

void frmOrlenta::Load(std::string_view commandLine) {
    CreateWindowAndControls();
    CentreWindow();
    const bool autostart = RunStartUpSequence(settings_, commandLine);
    ShowSettings(settings_);
    if (autostart) {
        RunAutomation();
        if (closeRequested_) {
            Unload();
        }
    }
}

void frmOrlenta::ShowSettings(const RunSettings& settings) {
    SetWindowTextUtf8(Control("txtPath", 0), settings.AVEFolder);
    SetWindowTextUtf8(Control("txtPath", 1), settings.InstallationFolder);
    SetWindowTextUtf8(Control("txtPath", 2), settings.TestingFolder);
    SetWindowTextUtf8(Control("txtStartIndex"), settings.StartIndex);
    SetWindowTextUtf8(Control("txtStopIndex"), settings.StopIndex);
    for (int k = 0; k < kAnalysisTypeCount; ++k) {
        SendMessageW(Control("chkAVEFilter", k), BM_SETCHECK,
                     settings.AVEFilter[static_cast<std::size_t>(k)] ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

void frmOrlenta::Show(int showCommand) {
    if (hwnd_ == nullptr) {
        return;
    }
    ShowWindow(hwnd_, showCommand);
    UpdateWindow(hwnd_);
    SetFocus(controls_[static_cast<std::size_t>(order_.front())]);
}

bool frmOrlenta::TranslateDialogMessage(MSG& msg) { return hwnd_ != nullptr && IsDialogMessageW(hwnd_, &msg); }

HWND frmOrlenta::Control(std::string_view name, int index) const {
    const auto layout = FormLayout();
    for (std::size_t row = 0; row < layout.size() && row < controls_.size(); ++row) {
        if (Named(layout[row], name, index)) {
            return controls_[row];
        }
    }
    return nullptr;
}

RunSettings frmOrlenta::SettingsFromControls() const {
    RunSettings settings;
    settings.AVEFolder = WindowText(Control("txtPath", 0));
    settings.InstallationFolder = WindowText(Control("txtPath", 1));
    settings.TestingFolder = WindowText(Control("txtPath", 2));
    settings.StartIndex = WindowText(Control("txtStartIndex"));
    settings.StopIndex = WindowText(Control("txtStopIndex"));
    for (int k = 0; k < kAnalysisTypeCount; ++k) {
        // A grayed box counts as unchecked.
        settings.AVEFilter[static_cast<std::size_t>(k)] =
            SendMessageW(Control("chkAVEFilter", k), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    return settings;
}

LRESULT CALLBACK frmOrlenta::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<frmOrlenta*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<frmOrlenta*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    // No exception may cross into the system's dispatcher: report it and carry on.
    try {
        return self->HandleMessage(message, wParam, lParam);
    } catch (const AppError& error) {
        try {
            self->seams_.showMessage(hwnd, error.Description());
        } catch (...) {
        }
    } catch (const std::exception& error) {
        try {
            self->seams_.showMessage(hwnd, error.what());
        } catch (...) {
        }
    } catch (...) {
    }
    return 0;
}

LRESULT frmOrlenta::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SYSCOMMAND && HandleAboutCommand(hwnd_, wParam)) {
        return 0;
    }
    switch (message) {
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_ACTIVATE:
        // The focus leaves with the window and comes back to the control that had it.
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            focusWhenInactive_ = (focus != nullptr && IsChild(hwnd_, focus)) ? focus : nullptr;
        } else if (!controls_.empty()) {
            HWND target = focusWhenInactive_ != nullptr && IsWindowEnabled(focusWhenInactive_)
                              ? focusWhenInactive_
                              : controls_[static_cast<std::size_t>(order_.front())];
            SetFocus(target);
        }
        return 0;
    case WM_CLOSE:
        // A run holds this window's controls until it ends: it is asked to stop, and the window goes
        // when the run has returned.
        if (runDepth_ > 0) {
            OnCloseDuringRun();
            return 0;
        }
        Unload();
        return 0;
    case WM_DESTROY:
        seams_.endProgram();
        return 0;
    case WM_NCDESTROY: {
        const LRESULT result = DefWindowProcW(hwnd_, message, wParam, lParam);
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        hwnd_ = nullptr;
        controls_.clear();
        focusBeforeDisable_ = nullptr;
        focusWhenInactive_ = nullptr;
        return result;
    }
    default:
        return DefWindowProcW(hwnd_, message, wParam, lParam);
    }
}

void frmOrlenta::OnCommand(int id, int code) {
    if (id == IDOK) {
        // Enter presses the button that has the focus; no button answers Enter or Escape otherwise.
        HWND focus = GetFocus();
        const int row = GetDlgCtrlID(focus) - kFirstControlId;
        if (focus != nullptr && IsChild(hwnd_, focus) && row >= 0 && row < static_cast<int>(FormLayout().size()) &&
            FormLayout()[static_cast<std::size_t>(row)].kind == ControlKind::Button) {
            SendMessageW(focus, BM_CLICK, 0, 0);
        }
        return;
    }
    const int row = id - kFirstControlId;
    if (code != BN_CLICKED || row < 0 || row >= static_cast<int>(FormLayout().size())) {
        return;
    }
    const ControlLayout& layout = FormLayout()[static_cast<std::size_t>(row)];
    if (Named(layout, "cmdBrowse", layout.index)) {
        cmdBrowse_Click(layout.index);
    } else if (Named(layout, "cmdStart", -1)) {
        cmdStart_Click();
    } else if (Named(layout, "cmdCancel", -1)) {
        cmdCancel_Click();
    }
}

void frmOrlenta::cmdBrowse_Click(int index) {
    const std::string path =
        seams_.browseForFolder(hwnd_, kDesktopRoot, kNewDialogStyle, kBrowseTexts[static_cast<std::size_t>(index)]);
    if (!path.empty()) {
        SetWindowTextUtf8(Control("txtPath", index), AnsiToUtf8(path));
    }
}

void frmOrlenta::cmdStart_Click() {
    RunAutomation();
    if (closeRequested_ && runDepth_ == 0) {
        Unload();
    }
}

void frmOrlenta::cmdCancel_Click() { Unload(); }

void frmOrlenta::Unload() {
    if (hwnd_ != nullptr) {
        DestroyWindow(hwnd_);
    }
}

}  // namespace orlenta
