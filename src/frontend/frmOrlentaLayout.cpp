// frmOrlenta's layout table and the making of the window and its controls from it.
#include "frontend/frmOrlentaLayout.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string_view>

#include <commctrl.h>

#include "frontend/AboutBox.h"
#include "frontend/resource.h"
#include "util/AppError.h"
#include "util/Text.h"

namespace orlenta {

namespace {

using K = ControlKind;
constexpr const char* kAutomationSetup = "fraAutomationSetup";
constexpr int kBoxColumn = 2760;  // twips: where the boxes beside the labels begin
constexpr const char* kFilter = "fraFilter";

// The window's layout in twips, in the order of its tables: the client area, then one row of
// fraAutomationSetup after another, then the filter boxes.
constexpr std::array<ControlLayout, 26> kLayout{{
    // name                index kind            caption                               left  top   width height container
    {"fraAutomationSetup", -1, K::Frame,       "Automation Setup",                   120,  120,  6615, 2535, nullptr},
    {"fraFilter",          -1, K::Frame,       "AVE type filter",                    120,  2760, 6615, 2115, nullptr},
    {"lblStatus",          -1, K::Label,       "",                                   120,  4980, 6585, 375,  nullptr},
    {"ProgressBar1",       -1, K::ProgressBar, "",                                   120,  5460, 6615, 255,  nullptr},
    {"cmdStart",           -1, K::Button,      "Start",                              3480, 5820, 1575, 375,  nullptr},
    {"cmdCancel",          -1, K::Button,      "Close",                              5160, 5820, 1575, 375,  nullptr},

    {"lblPath",             0, K::Label,       "Path to the AVE folder",             240,  420,  1575, 195,  kAutomationSetup},
    {"txtPath",             0, K::TextBox,     "",                                   2760, 360,  3195, 315,  kAutomationSetup},
    {"cmdBrowse",           0, K::Button,      "...",                                6000, 360,  315,  315,  kAutomationSetup},
    {"lblPath",             1, K::Label,       "Path to Norvik Kavro installation",  240,  840,  2520, 195,  kAutomationSetup},
    {"txtPath",             1, K::TextBox,     "",                                   2760, 780,  3195, 315,  kAutomationSetup},
    {"cmdBrowse",           1, K::Button,      "...",                                6000, 780,  315,  315,  kAutomationSetup},
    {"lblPath",             2, K::Label,       "Path to the testing folder",         240,  1260, 1725, 195,  kAutomationSetup},
    {"txtPath",             2, K::TextBox,     "",                                   2760, 1200, 3195, 315,  kAutomationSetup},
    {"cmdBrowse",           2, K::Button,      "...",                                6000, 1200, 330,  315,  kAutomationSetup},
    {"lblPath",             3, K::Label,       "Start at AVE number",                240,  1680, 1440, 195,  kAutomationSetup},
    {"txtStartIndex",      -1, K::TextBox,     "",                                   2760, 1620, 660,  315,  kAutomationSetup},
    {"udStartIndex",       -1, K::SpinControl, "",                                   3420, 1620, 255,  315,  kAutomationSetup},
    {"lblPath",             4, K::Label,       "Stop at AVE number",                 240,  2100, 1440, 195,  kAutomationSetup},
    {"txtStopIndex",       -1, K::TextBox,     "",                                   2760, 2040, 660,  315,  kAutomationSetup},
    {"udStopIndex",        -1, K::SpinControl, "",                                   3420, 2040, 255,  315,  kAutomationSetup},

    {"chkAVEFilter",        0, K::CheckBox,    "Linear",                             360,  420,  1695, 195,  kFilter},
    {"chkAVEFilter",        1, K::CheckBox,    "Nonlinear",                          360,  720,  1695, 195,  kFilter},
    {"chkAVEFilter",        2, K::CheckBox,    "Thermal",                            360,  1020, 1695, 195,  kFilter},
    {"chkAVEFilter",        3, K::CheckBox,    "Fluid",                              360,  1320, 1695, 195,  kFilter},
    {"chkAVEFilter",        4, K::CheckBox,    "Electrostatic",                      360,  1620, 1695, 195,  kFilter},
}};

struct ControlRef {
    const char* name;
    int index;
};

constexpr std::array<ControlRef, 17> kTabOrder{{
    {"cmdStart", -1},      {"cmdCancel", -1},     {"chkAVEFilter", 0}, {"chkAVEFilter", 1}, {"chkAVEFilter", 2},
    {"chkAVEFilter", 3},   {"chkAVEFilter", 4},   {"txtPath", 0},      {"txtPath", 1},      {"txtPath", 2},
    {"txtStartIndex", -1}, {"txtStopIndex", -1},  {"udStartIndex", -1}, {"udStopIndex", -1}, {"cmdBrowse", 2},
    {"cmdBrowse", 1},      {"cmdBrowse", 0},
}};

struct SpinBinding {
    const char* spin;
    const char* buddy;
};
constexpr std::array<SpinBinding, 2> kSpinBindings{{{"udStartIndex", "txtStartIndex"}, {"udStopIndex", "txtStopIndex"}}};

constexpr const wchar_t* kWindowClass = L"frmOrlenta";
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// Width of `text` in `font`, with a pixel to spare for the static control's own drawing.
int TextWidth(HFONT font, const char* text) {
    HDC dc = GetDC(nullptr);
    if (dc == nullptr) {
        return 0;
    }
    const HGDIOBJ previous = SelectObject(dc, font);
    SIZE size{};
    const std::wstring wide = Utf8ToWide(text);
    GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
    SelectObject(dc, previous);
    ReleaseDC(nullptr, dc);
    return size.cx + 1;
}

int ScreenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
    if (screen) {
        ReleaseDC(nullptr, screen);
    }
    return dpi > 0 ? dpi : 96;
}

// The text and spin boxes to the right of the setup frame's labels (not the browse buttons).
bool InBoxColumn(const ControlLayout& layout) {
    return layout.container != nullptr && std::string_view(layout.container) == kAutomationSetup &&
           layout.left >= kBoxColumn && (layout.kind == K::TextBox || layout.kind == K::SpinControl);
}

struct WindowClassSpec {
    const wchar_t* className;
    DWORD style;
    DWORD exStyle;
};

WindowClassSpec ClassFor(const ControlLayout& row) {
    constexpr DWORD common = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
    switch (row.kind) {
    case K::Frame:
        return {L"BUTTON", common | BS_GROUPBOX, 0};
    case K::Label:
        // A status path may hold "&", which is text here, not a mnemonic.
        return {L"STATIC", common | SS_LEFT | SS_NOPREFIX, 0};
    case K::TextBox:
        return {L"EDIT", common | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
    case K::Button:
        return {L"BUTTON", common | WS_TABSTOP | BS_PUSHBUTTON, 0};
    case K::CheckBox:
        return {L"BUTTON", common | WS_TABSTOP | BS_AUTOCHECKBOX, 0};
    case K::SpinControl:
        // No alignment style: the control keeps its own place beside its box instead of moving into it.
        // With UDS_SETBUDDYINT a press reads the box first, so it starts from a number the operator
        // typed, and from the control's own last value when the box holds no number in range.
        return {UPDOWN_CLASSW, common | WS_TABSTOP | UDS_SETBUDDYINT | UDS_NOTHOUSANDS | UDS_ARROWKEYS, 0};
    case K::ProgressBar:
        return {PROGRESS_CLASSW, common, 0};
    }
    throw std::logic_error("unknown control kind");
}

void RegisterWindowClass(WNDPROC windowProc) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExW(instance, kWindowClass, &existing)) {
        return;
    }
    // Shared icons are never destroyed by us; a program without the resource gets the stock icon.
    auto icon = [instance](int size) {
        HANDLE image = LoadImageW(instance, MAKEINTRESOURCEW(IDI_ORLENTA), IMAGE_ICON, size, size, LR_SHARED);
        return image ? static_cast<HICON>(image) : LoadIconW(nullptr, MAKEINTRESOURCEW(32512));  // IDI_APPLICATION
    };
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = icon(GetSystemMetrics(SM_CXICON));
    windowClass.hIconSm = icon(GetSystemMetrics(SM_CXSMICON));
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    windowClass.lpszClassName = kWindowClass;
    if (!RegisterClassExW(&windowClass)) {
        throw AppError::FromLastError();
    }
}

}  // namespace

namespace form_layout {

bool Named(const ControlLayout& row, std::string_view name, int index) {
    return row.name == name && row.index == index;
}

int RowOf(std::string_view name, int index) {
    for (std::size_t row = 0; row < kLayout.size(); ++row) {
        if (Named(kLayout[row], name, index)) {
            return static_cast<int>(row);
        }
    }
    throw std::logic_error("no control " + std::string(name));
}

}  // namespace form_layout

using form_layout::kFirstControlId;
using form_layout::RowOf;

std::span<const ControlLayout> FormLayout() { return kLayout; }

int frmOrlenta::TwipsToPixels(int twips) const { return MulDiv(twips, dpi_, kTwipsPerInch); }

RECT frmOrlenta::PlaceOf(const ControlLayout& layout) const {
    int left = TwipsToPixels(layout.left);
    int top = TwipsToPixels(layout.top);
    if (layout.container != nullptr) {
        // Frames are drawn around their controls, not parents of them: a frame would keep the
        // controls' notifications from this window. Each length converts on its own, as a frame's
        // controls would be placed inside it.
        const ControlLayout& frame = kLayout[static_cast<std::size_t>(RowOf(layout.container, -1))];
        left += TwipsToPixels(frame.left);
        top += TwipsToPixels(frame.top);
    }
    RECT place{left, top, left + TwipsToPixels(layout.width), top + TwipsToPixels(layout.height)};
    if (InBoxColumn(layout)) {
        // A path box keeps its right edge beside its browse button and gives up the width.
        place.left += boxShift_;
        place.right += std::string_view(layout.name) == "txtPath" ? 0 : boxShift_;
    }
    return place;
}

void frmOrlenta::CreateWindowAndControls() {
    if (hwnd_ != nullptr) {
        throw std::logic_error("frmOrlenta is already loaded");
    }
    RegisterWindowClass(&frmOrlenta::WindowProc);
    dpi_ = ScreenDpi();
    const HINSTANCE instance = GetModuleHandleW(nullptr);

    const int clientWidth = TwipsToPixels(kFormClientWidthTwips);
    const int clientHeight = TwipsToPixels(kFormClientHeightTwips);
    RECT outer{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&outer, kWindowStyle, FALSE, 0);
    if (!CreateWindowExW(0, kWindowClass, Utf8ToWide(kFormCaption).c_str(), kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                         outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr, instance, this)) {
        throw AppError::FromLastError();
    }
    AddAboutToSystemMenu(hwnd_);
    // The frame's real thickness may differ from the estimate: correct by what the client area measures.
    RECT client{};
    GetClientRect(hwnd_, &client);
    if (client.right != clientWidth || client.bottom != clientHeight) {
        RECT window{};
        GetWindowRect(hwnd_, &window);
        SetWindowPos(hwnd_, nullptr, 0, 0, window.right - window.left + clientWidth - client.right,
                     window.bottom - window.top + clientHeight - client.bottom,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    LOGFONTW logFont{};
    logFont.lfHeight = -MulDiv(8, dpi_, 72);
    logFont.lfWeight = FW_NORMAL;
    logFont.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(logFont.lfFaceName, L"MS Shell Dlg", LF_FACESIZE);
    font_.reset(CreateFontIndirectW(&logFont));

    // The label widths fit their captions in the classic 8-point dialog font; in a wider face a
    // caption needs more room than its label has before its box: the boxes move right to make it.
    boxShift_ = 0;
    for (const ControlLayout& layout : kLayout) {
        if (layout.kind == K::Label && layout.container == kAutomationSetup && layout.caption[0] != '\0') {
            const int room = TwipsToPixels(kBoxColumn) - TwipsToPixels(layout.left);
            boxShift_ = std::max(boxShift_, TextWidth(font_.get(), layout.caption) - room);
        }
    }

    order_.clear();
    for (const ControlRef& ref : kTabOrder) {
        order_.push_back(RowOf(ref.name, ref.index));
    }
    // Frames come last, below everything: a frame paints its whole face, and would hide a label under it.
    for (const bool frames : {false, true}) {
        for (int row = 0; row < static_cast<int>(kLayout.size()); ++row) {
            if ((kLayout[static_cast<std::size_t>(row)].kind == K::Frame) == frames &&
                std::find(order_.begin(), order_.end(), row) == order_.end()) {
                order_.push_back(row);
            }
        }
    }

    controls_.assign(kLayout.size(), nullptr);
    for (const int row : order_) {
        const ControlLayout& layout = kLayout[static_cast<std::size_t>(row)];
        const RECT place = PlaceOf(layout);
        const WindowClassSpec spec = ClassFor(layout);
        HWND control = CreateWindowExW(spec.exStyle, spec.className, Utf8ToWide(layout.caption).c_str(), spec.style,
                                       place.left,
                                       place.top, place.right - place.left, place.bottom - place.top, hwnd_,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + row)),
                                       instance, nullptr);
        if (control == nullptr) {
            throw AppError::FromLastError();
        }
        // Each new control goes below the ones before it, so that the tab order follows order_.
        SetWindowPos(control, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
        controls_[static_cast<std::size_t>(row)] = control;
        // A label grows to its caption, into the free space before its box, and never shrinks.
        if (layout.kind == K::Label && layout.caption[0] != '\0') {
            const int needed = TextWidth(font_.get(), layout.caption);
            if (needed > place.right - place.left) {
                SetWindowPos(control, nullptr, 0, 0, needed, place.bottom - place.top,
                             SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            }
        }
    }

    for (const SpinBinding& binding : kSpinBindings) {
        HWND spin = Control(binding.spin);
        SendMessageW(spin, UDM_SETBUDDY, reinterpret_cast<WPARAM>(Control(binding.buddy)), 0);
        SendMessageW(spin, UDM_SETRANGE32, static_cast<WPARAM>(kSpinMinimum), static_cast<LPARAM>(kSpinMaximum));
        // One step per press however long an arrow is held, instead of the control's speeding up.
        UDACCEL step{0, 1};
        SendMessageW(spin, UDM_SETACCEL, 1, reinterpret_cast<LPARAM>(&step));
        SendMessageW(spin, UDM_SETPOS32, 0, static_cast<LPARAM>(kSpinMinimum));
        // Binding may resize the control to the platform's own width; the layout's size stands.
        const RECT place = PlaceOf(kLayout[static_cast<std::size_t>(RowOf(binding.spin, -1))]);
        SetWindowPos(spin, nullptr, place.left, place.top, place.right - place.left, place.bottom - place.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    SendMessageW(Control("ProgressBar1"), PBM_SETRANGE32, 0, 100);
    SendMessageW(Control("ProgressBar1"), PBM_SETPOS, 0, 0);
}

void frmOrlenta::CentreWindow() {
    RECT window{};
    GetWindowRect(hwnd_, &window);
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    SetWindowPos(hwnd_, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace orlenta
