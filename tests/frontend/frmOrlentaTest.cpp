// frmOrlenta created in-process and driven by messages: layout, load, runs, spin controls, browsing, closing.
#include <algorithm>
#include <array>
#include <deque>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include "frontend/StartUp.h"
#include "frontend/InstallationFolder.h"
#include "WindowDriver.h"
#include "frontend/frmOrlenta.h"
#include "support/TestSupport.h"
#include "util/AppError.h"
#include "util/AppPaths.h"
#include "util/Handles.h"

namespace orlenta {
namespace {

using test::ClassOf;
using test::TextOf;

// The window's controls as its layout tables give them, in twips relative to their container.
struct Expected {
    const char* name;
    int index;
    const char* kind;
    const char* caption;  // nullptr: not a caption (a box's text comes from the settings)
    int left, top, width, height;
    const char* container;
};

const Expected kExpectedLayout[] = {
    {"fraAutomationSetup", -1, "frame", "Automation Setup", 120, 120, 6615, 2535, nullptr},
    {"fraFilter", -1, "frame", "AVE type filter", 120, 2760, 6615, 2115, nullptr},
    {"lblStatus", -1, "label", "", 120, 4980, 6585, 375, nullptr},
    {"ProgressBar1", -1, "progress", nullptr, 120, 5460, 6615, 255, nullptr},
    {"cmdStart", -1, "button", "Start", 3480, 5820, 1575, 375, nullptr},
    {"cmdCancel", -1, "button", "Close", 5160, 5820, 1575, 375, nullptr},
    {"lblPath", 0, "label", "Path to the AVE folder", 240, 420, 1575, 195, "fraAutomationSetup"},
    {"txtPath", 0, "text", nullptr, 2760, 360, 3195, 315, "fraAutomationSetup"},
    {"cmdBrowse", 0, "button", "...", 6000, 360, 315, 315, "fraAutomationSetup"},
    {"lblPath", 1, "label", "Path to Norvik Kavro installation", 240, 840, 2520, 195, "fraAutomationSetup"},
    {"txtPath", 1, "text", nullptr, 2760, 780, 3195, 315, "fraAutomationSetup"},
    {"cmdBrowse", 1, "button", "...", 6000, 780, 315, 315, "fraAutomationSetup"},
    {"lblPath", 2, "label", "Path to the testing folder", 240, 1260, 1725, 195, "fraAutomationSetup"},
    {"txtPath", 2, "text", nullptr, 2760, 1200, 3195, 315, "fraAutomationSetup"},
    {"cmdBrowse", 2, "button", "...", 6000, 1200, 330, 315, "fraAutomationSetup"},
    {"lblPath", 3, "label", "Start at AVE number", 240, 1680, 1440, 195, "fraAutomationSetup"},
    {"txtStartIndex", -1, "text", nullptr, 2760, 1620, 660, 315, "fraAutomationSetup"},
    {"udStartIndex", -1, "spin", nullptr, 3420, 1620, 255, 315, "fraAutomationSetup"},
    {"lblPath", 4, "label", "Stop at AVE number", 240, 2100, 1440, 195, "fraAutomationSetup"},
    {"txtStopIndex", -1, "text", nullptr, 2760, 2040, 660, 315, "fraAutomationSetup"},
    {"udStopIndex", -1, "spin", nullptr, 3420, 2040, 255, 315, "fraAutomationSetup"},
    {"chkAVEFilter", 0, "check", "Linear", 360, 420, 1695, 195, "fraFilter"},
    {"chkAVEFilter", 1, "check", "Nonlinear", 360, 720, 1695, 195, "fraFilter"},
    {"chkAVEFilter", 2, "check", "Thermal", 360, 1020, 1695, 195, "fraFilter"},
    {"chkAVEFilter", 3, "check", "Fluid", 360, 1320, 1695, 195, "fraFilter"},
    {"chkAVEFilter", 4, "check", "Electrostatic", 360, 1620, 1695, 195, "fraFilter"},
};

std::string Describe(const char* name, int index) {
    return index < 0 ? std::string(name) : std::string(name) + "(" + std::to_string(index) + ")";
}

// The control's kind as the platform sees it: its class, and for buttons its style.
std::string KindOf(HWND hwnd) {
    const std::string cls = ClassOf(hwnd);
    const LONG_PTR type = GetWindowLongPtrA(hwnd, GWL_STYLE) & BS_TYPEMASK;
    if (_stricmp(cls.c_str(), "Button") == 0) {
        return type == BS_GROUPBOX ? "frame" : type == BS_AUTOCHECKBOX ? "check" : type == BS_PUSHBUTTON ? "button" : "?";
    }
    if (_stricmp(cls.c_str(), "Static") == 0) return "label";
    if (_stricmp(cls.c_str(), "Edit") == 0) return "text";
    if (_stricmp(cls.c_str(), UPDOWN_CLASSA) == 0) return "spin";
    if (_stricmp(cls.c_str(), PROGRESS_CLASSA) == 0) return "progress";
    return cls;
}

// How wide the control's text is in the control's own font.
int CaptionWidth(HWND control) {
    const std::string text = TextOf(control);
    HDC dc = GetDC(control);
    const HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, previous);
    ReleaseDC(control, dc);
    return size.cx;
}

// A control's rectangle relative to the form's client area, in pixels.
RECT ClientRect(HWND form, HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// What the window did through its seams.
struct Record {
    struct ScriptRun {
        std::string command;
        bool windowVisible;
        std::vector<std::string> disabledControls;  // names of controls found disabled
        std::vector<std::string> enabledControls;
        std::string status;
        long progress;
        std::vector<std::string> inputLines;
    };
    std::vector<ScriptRun> runs;
    std::vector<std::string> messages;
    std::deque<std::string> answers;  // for input prompts, in order
    std::vector<std::string> prompts;
    std::vector<std::string> documents;
    struct Browse {
        HWND owner;
        long root;
        long flags;
        std::string caption;
    };
    std::vector<Browse> browses;
    std::string pickedFolder;
    int programEnds = 0;
};

class RecordingShell final : public ScriptShell {
public:
    RecordingShell(Record& record, const frmOrlenta*& form) : record_(record), form_(form) {}
    long Run(const std::string& command, long, bool) override {
        Record::ScriptRun run{command, IsWindowVisible(form_->hWnd()) != FALSE, {}, {}, {}, 0, {}};
        for (const ControlLayout& row : FormLayout()) {
            const bool enabled = IsWindowEnabled(form_->Control(row.name, row.index)) != FALSE;
            (enabled ? run.enabledControls : run.disabledControls).push_back(Describe(row.name, row.index));
        }
        run.status = TextOf(form_->Control("lblStatus"));
        run.progress = static_cast<long>(SendMessageA(form_->Control("ProgressBar1"), PBM_GETPOS, 0, 0));
        run.inputLines = Lines(test::ReadBytes("InputData.txt"));
        record_.runs.push_back(std::move(run));
        return 0;
    }

private:
    Record& record_;
    const frmOrlenta*& form_;
};

class FormTest : public ::testing::Test {
protected:
    void SetUp() override {
        char cwd[MAX_PATH] = {};
        GetCurrentDirectoryA(MAX_PATH, cwd);
        savedDirectory_ = cwd;
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        test::MakeFolder(scratch_ / "AVES");
        test::MakeFolder(scratch_ / "Kavro");
        test::WriteBytes(scratch_ / "Kavro\\KavFrame.exe", "");
    }
    void TearDown() override {
        form_.reset();
        CoUninitialize();
        SetCurrentDirectoryA(savedDirectory_.c_str());
    }

    FormSeams Seams() {
        FormSeams seams;
        seams.createShell = [this]() -> std::unique_ptr<ScriptShell> {
            return std::make_unique<RecordingShell>(record_, formView_);
        };
        seams.browseForFolder = [this](HWND owner, long root, long flags, const std::string& caption) {
            record_.browses.push_back({owner, root, flags, caption});
            return record_.pickedFolder;
        };
        seams.showMessage = [this](HWND, const std::string& text) { record_.messages.push_back(text); };
        seams.inputBox = [this](HWND, const std::string& prompt, const std::string&, const std::string&) {
            record_.prompts.push_back(prompt);
            std::string answer;
            if (!record_.answers.empty()) {
                answer = record_.answers.front();
                record_.answers.pop_front();
            }
            return answer;
        };
        seams.openDocument = [this](const std::string&, const std::string& file, const std::string&,
                                    const std::string&, long) { record_.documents.push_back(file); };
        seams.endProgram = [this] { ++record_.programEnds; };
        return seams;
    }

    frmOrlenta& Load(const std::string& commandLine, FormSeams seams) {
        form_ = std::make_unique<frmOrlenta>(std::move(seams));
        formView_ = form_.get();
        form_->Load(commandLine);
        return *form_;
    }
    frmOrlenta& Load(const std::string& commandLine = "") { return Load(commandLine, Seams()); }

    HWND Ctl(const char* name, int index = -1) const { return form_->Control(name, index); }
    void SetText(const char* name, int index, const std::string& text) {
        SetWindowTextA(Ctl(name, index), text.c_str());
    }
    // Boxes that let a run pass every check without a prompt.
    void FillRunnableSettings(const std::string& start, const std::string& stop) {
        SetText("txtPath", 0, scratch_ / "AVES");
        SetText("txtPath", 1, scratch_ / "Kavro");
        SetText("txtPath", 2, scratch_ / "Results");
        SetText("txtStartIndex", -1, start);
        SetText("txtStopIndex", -1, stop);
    }
    void Click(const char* name, int index = -1) { SendMessageA(Ctl(name, index), BM_CLICK, 0, 0); }

    test::ScratchFolder scratch_;
    Record record_;
    std::unique_ptr<frmOrlenta> form_;
    const frmOrlenta* formView_ = nullptr;
    int closingRuns_ = 0;
    std::string savedDirectory_;
};

TEST_F(FormTest, EveryControlHasItsKindCaptionStateAndPlace) {
    frmOrlenta& form = Load();
    HWND hwnd = form.hWnd();
    EXPECT_EQ(kFormCaption, TextOf(hwnd));
    RECT client{};
    GetClientRect(hwnd, &client);
    EXPECT_EQ(6855, client.right * 15);
    EXPECT_EQ(6285, client.bottom * 15);

    int children = 0;
    for (HWND child = GetWindow(hwnd, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        ++children;
    }
    EXPECT_EQ(static_cast<int>(std::size(kExpectedLayout)), children);

    for (const Expected& e : kExpectedLayout) {
        SCOPED_TRACE(Describe(e.name, e.index));
        HWND control = form.Control(e.name, e.index);
        ASSERT_NE(nullptr, control);
        EXPECT_EQ(e.kind, KindOf(control));
        if (e.caption != nullptr) {
            EXPECT_EQ(e.caption, TextOf(control));
        }
        EXPECT_TRUE(IsWindowEnabled(control));
        EXPECT_TRUE(IsWindowVisible(control) || !IsWindowVisible(hwnd));
        RECT r = ClientRect(hwnd, control);
        if (e.container != nullptr) {
            const RECT frame = ClientRect(hwnd, form.Control(e.container));
            OffsetRect(&r, -frame.left, -frame.top);
        }
        EXPECT_EQ(e.left, r.left * 15);
        EXPECT_EQ(e.top, r.top * 15);
        if (std::string(e.kind) == "label" && e.caption[0] != '\0') {
            // A label may grow past its width to show its caption on its one line, never shrink.
            EXPECT_LE(e.width, (r.right - r.left) * 15);
            EXPECT_GE(r.right - r.left, CaptionWidth(control));
            EXPECT_LE(r.right, ClientRect(hwnd, form.Control("txtPath", 0)).left);
        } else {
            EXPECT_EQ(e.width, (r.right - r.left) * 15);
        }
        EXPECT_EQ(e.height, (r.bottom - r.top) * 15);
    }
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(BST_CHECKED, SendMessageA(form.Control("chkAVEFilter", k), BM_GETCHECK, 0, 0)) << k;
    }
}

TEST_F(FormTest, WindowIsCentredByItsOuterSize) {
    frmOrlenta& form = Load();
    RECT r{};
    GetWindowRect(form.hWnd(), &r);
    EXPECT_EQ((GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2, r.left);
    EXPECT_EQ((GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2, r.top);
}

TEST_F(FormTest, TabOrderAndInitialFocus) {
    frmOrlenta& form = Load();
    form.Show();
    EXPECT_EQ(form.Control("cmdStart"), GetFocus());

    const std::pair<const char*, int> order[] = {
        {"cmdStart", -1},     {"cmdCancel", -1},     {"chkAVEFilter", 0},  {"chkAVEFilter", 1},
        {"chkAVEFilter", 2},  {"chkAVEFilter", 3},   {"chkAVEFilter", 4},  {"txtPath", 0},
        {"txtPath", 1},       {"txtPath", 2},        {"txtStartIndex", -1}, {"txtStopIndex", -1},
        {"udStartIndex", -1}, {"udStopIndex", -1},   {"cmdBrowse", 2},     {"cmdBrowse", 1},
        {"cmdBrowse", 0},     {"cmdStart", -1},
    };
    HWND current = form.Control("cmdStart");
    for (std::size_t i = 1; i < std::size(order); ++i) {
        SCOPED_TRACE(Describe(order[i].first, order[i].second));
        current = GetNextDlgTabItem(form.hWnd(), current, FALSE);
        EXPECT_EQ(form.Control(order[i].first, order[i].second), current);
    }
    for (const char* button : {"cmdStart", "cmdCancel"}) {
        SCOPED_TRACE(button);
        EXPECT_EQ(BS_PUSHBUTTON, GetWindowLongPtrA(form.Control(button), GWL_STYLE) & BS_TYPEMASK);
    }
}

TEST_F(FormTest, LoadShowsTheDefaultsOrWhatTheCommandLineSet) {
    struct Case {
        const char* commandLine;
        std::array<std::string, 5> texts;  // txtPath(0..2), txtStartIndex, txtStopIndex
    };
    const std::string application = ApplicationFolder();
    const std::string aves = application + (application.back() == '\\' ? "" : "\\") + "AVES";
    const Case cases[] = {
        {"", {aves, FindInstallationFolder(), "C:\\Test", "1", "213"}},
        {"-AVE=\"C:\\My AVEs\" -KAVRO=E:\\k -TESTING=D:\\x -START=abc -STOP=9",
         {"C:\\My AVEs", "E:\\k", "D:\\x", "abc", "9"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.commandLine);
        frmOrlenta& form = Load(c.commandLine);
        EXPECT_EQ(c.texts[0], TextOf(form.Control("txtPath", 0)));
        EXPECT_EQ(c.texts[1], TextOf(form.Control("txtPath", 1)));
        EXPECT_EQ(c.texts[2], TextOf(form.Control("txtPath", 2)));
        EXPECT_EQ(c.texts[3], TextOf(form.Control("txtStartIndex")));
        EXPECT_EQ(c.texts[4], TextOf(form.Control("txtStopIndex")));
        EXPECT_FALSE(IsWindowVisible(form.hWnd()));
        EXPECT_TRUE(record_.runs.empty());
    }
}

TEST_F(FormTest, AutomaticRunEndsBeforeTheWindowIsShownAndLeavesTheCommandLineValues) {
    const std::string commandLine = "-AUTOSTART -AVE=\"" + (scratch_ / "AVES") + "\" -KAVRO=\"" +
                                    (scratch_ / "Kavro") + "\" -TESTING=\"" + (scratch_ / "Results") +
                                    "\" -START=3 -STOP=4";
    frmOrlenta& form = Load(commandLine);

    ASSERT_EQ(2u, record_.runs.size());
    for (const Record::ScriptRun& run : record_.runs) {
        EXPECT_FALSE(run.windowVisible);
    }
    EXPECT_TRUE(record_.messages.empty());
    EXPECT_EQ(scratch_ / "AVES", TextOf(form.Control("txtPath", 0)));
    EXPECT_EQ(scratch_ / "Results", TextOf(form.Control("txtPath", 2)));
    EXPECT_EQ("3", TextOf(form.Control("txtStartIndex")));
    EXPECT_EQ("4", TextOf(form.Control("txtStopIndex")));
    EXPECT_FALSE(IsWindowVisible(form.hWnd()));
    form.Show();
    EXPECT_TRUE(IsWindowVisible(form.hWnd()));
}

TEST_F(FormTest, StartRunsWithEveryControlDisabledAndEnablesThemAfterwards) {
    frmOrlenta& form = Load();
    form.Show();
    FillRunnableSettings("7", "9");
    EnableWindow(form.Control("chkAVEFilter", 2), FALSE);
    SendMessageA(form.Control("chkAVEFilter", 1), BM_SETCHECK, BST_UNCHECKED, 0);
    SendMessageA(form.Control("chkAVEFilter", 3), BM_SETCHECK, BST_UNCHECKED, 0);

    Click("cmdStart");

    ASSERT_EQ(3u, record_.runs.size());
    const std::string aves = scratch_ / "AVES\\";
    for (std::size_t pass = 0; pass < record_.runs.size(); ++pass) {
        const Record::ScriptRun& run = record_.runs[pass];
        const std::string name = "Ave00" + std::to_string(7 + pass);
        SCOPED_TRACE(name);
        EXPECT_TRUE(run.enabledControls.empty()) << run.enabledControls.front();
        EXPECT_EQ(FormLayout().size(), run.disabledControls.size());
        EXPECT_EQ(aves + name + "\\" + name + ".ach", run.status);
        EXPECT_EQ(static_cast<long>(pass), run.progress);
        ASSERT_EQ(9 + pass, run.inputLines.size());
        EXPECT_EQ((std::vector<std::string>{"True", "False", "True", "False", "True"}),
                  std::vector<std::string>(run.inputLines.begin() + 3, run.inputLines.begin() + 8));
    }
    for (const ControlLayout& row : FormLayout()) {
        SCOPED_TRACE(Describe(row.name, row.index));
        EXPECT_TRUE(IsWindowEnabled(form.Control(row.name, row.index)));
    }
    EXPECT_EQ("", TextOf(form.Control("lblStatus")));
    EXPECT_EQ(0, SendMessageA(form.Control("ProgressBar1"), PBM_GETPOS, 0, 0));
    EXPECT_EQ((std::vector<std::string>{scratch_ / "Results\\TestResults.htm"}), record_.documents);
    EXPECT_TRUE(record_.messages.empty());
    EXPECT_EQ(form.Control("cmdStart"), GetFocus());
}

TEST_F(FormTest, FiveUntickedBoxesGiveFiveFalseLines) {
    frmOrlenta& form = Load();
    FillRunnableSettings("1", "1");
    for (int k = 0; k < 5; ++k) {
        Click("chkAVEFilter", k);  // ticked at load: a click unticks
    }
    EXPECT_FALSE(form.SettingsFromControls().AVEFilter[0]);

    Click("cmdStart");

    ASSERT_EQ(1u, record_.runs.size());
    const std::vector<std::string>& lines = record_.runs[0].inputLines;
    ASSERT_EQ(9u, lines.size());
    EXPECT_EQ((std::vector<std::string>(5, "False")), std::vector<std::string>(lines.begin() + 3, lines.begin() + 8));
}

TEST_F(FormTest, LettersInTheNumberBoxesReachTheRunUnchecked) {
    Load();
    FillRunnableSettings("x1", "2");
    Click("cmdStart");
    ASSERT_EQ(1u, record_.messages.size());
    EXPECT_NE(std::string::npos, record_.messages[0].find("Line No.: 120"));
    EXPECT_EQ(3u, record_.runs.size());  // from AVE 0 to 2
}

TEST_F(FormTest, ReversedRangeIsRefusedByTheProgressBarOnce) {
    Load();
    FillRunnableSettings("5", "2");
    Click("cmdStart");
    EXPECT_TRUE(record_.runs.empty());
    ASSERT_EQ(1u, record_.messages.size());
    EXPECT_EQ("Description: Invalid property value\r\nLine No.: 460", record_.messages[0]);
    EXPECT_EQ(1u, record_.documents.size());
}

TEST_F(FormTest, ProgressBarKeepsMinimumBelowMaximumAndTheValueBetween) {
    frmOrlenta& form = Load();
    HWND bar = form.Control("ProgressBar1");
    struct Case {
        const char* name;
        char what;  // m(inimum), M(aximum), v(alue)
        long value;
        bool accepted;
        int low, high, pos;  // the bar afterwards
    };
    const Case cases[] = {
        {"maximum 3", 'M', 3, true, 0, 3, 0},
        {"value at the maximum", 'v', 3, true, 0, 3, 3},
        {"value above the maximum", 'v', 4, false, 0, 3, 3},
        {"maximum equal to the minimum", 'M', 0, false, 0, 3, 3},
        {"maximum below the minimum", 'M', -2, false, 0, 3, 3},
        {"minimum equal to the maximum", 'm', 3, false, 0, 3, 3},
        {"value below the minimum", 'v', -1, false, 0, 3, 3},
        {"negative minimum", 'm', -5, true, -5, 3, 3},
        {"value 0", 'v', 0, true, -5, 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto set = [&] {
            if (c.what == 'm') form.SetProgressMinimum(c.value);
            if (c.what == 'M') form.SetProgressMaximum(c.value);
            if (c.what == 'v') form.SetProgressValue(c.value);
        };
        if (c.accepted) {
            EXPECT_NO_THROW(set());
        } else {
            try {
                set();
                ADD_FAILURE() << "accepted";
            } catch (const AppError& error) {
                EXPECT_EQ(380, error.Number());
            }
        }
        PBRANGE range{};
        SendMessageA(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
        EXPECT_EQ(c.low, range.iLow);
        EXPECT_EQ(c.high, range.iHigh);
        EXPECT_EQ(c.pos, SendMessageA(bar, PBM_GETPOS, 0, 0));
    }
}

TEST_F(FormTest, StatusLabelShowsTheTextAsItIs) {
    frmOrlenta& form = Load();
    form.Show();
    form.SetStatusText("C:\\A&B\\Ave007\\Ave007.ach");
    form.RefreshStatus();
    EXPECT_EQ("C:\\A&B\\Ave007\\Ave007.ach", TextOf(form.Control("lblStatus")));
    EXPECT_FALSE(GetUpdateRect(form.Control("lblStatus"), nullptr, FALSE));
}

TEST_F(FormTest, SpinControlsStepByOneWithinTheirRangeFromTheTypedNumber) {
    frmOrlenta& form = Load();
    struct Binding {
        const char* spin;
        const char* box;
    };
    for (const Binding b : {Binding{"udStartIndex", "txtStartIndex"}, Binding{"udStopIndex", "txtStopIndex"}}) {
        HWND spin = form.Control(b.spin);
        HWND box = form.Control(b.box);
        EXPECT_EQ(box, reinterpret_cast<HWND>(SendMessageA(spin, UDM_GETBUDDY, 0, 0))) << b.spin;
        int low = 0;
        int high = 0;
        SendMessageA(spin, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low), reinterpret_cast<LPARAM>(&high));
        EXPECT_EQ(1, low) << b.spin;
        EXPECT_EQ(10000, high) << b.spin;

        struct Case {
            const char* typed;
            WPARAM key;
            const char* shown;
        };
        const Case cases[] = {
            {"50", VK_UP, "51"},     {"50", VK_DOWN, "49"},      {"1", VK_DOWN, "1"},
            {"9999", VK_UP, "10000"}, {"10000", VK_UP, "10000"}, {"213", VK_DOWN, "212"},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(b.spin) + " " + c.typed + (c.key == VK_UP ? " up" : " down"));
            SetWindowTextA(box, c.typed);
            SendMessageA(box, WM_KEYDOWN, c.key, 0);
            SendMessageA(box, WM_KEYUP, c.key, 0);
            EXPECT_EQ(c.shown, TextOf(box));
        }
    }
}

TEST_F(FormTest, BrowseButtonsReplaceTheirBoxOnlyWhenAFolderComesBack) {
    frmOrlenta& form = Load();
    const char* texts[] = {"for AVE Folder", "for Norvik Kavro Installation Folder", "for Testing Folder"};
    for (int index = 0; index < 3; ++index) {
        SCOPED_TRACE(index);
        const std::string before = TextOf(form.Control("txtPath", index));

        record_.pickedFolder = "";
        Click("cmdBrowse", index);
        EXPECT_EQ(before, TextOf(form.Control("txtPath", index)));

        record_.pickedFolder = "D:\\Picked " + std::to_string(index);
        Click("cmdBrowse", index);
        EXPECT_EQ(record_.pickedFolder, TextOf(form.Control("txtPath", index)));
        for (int other = 0; other < 3; ++other) {
            if (other != index) {
                EXPECT_NE(record_.pickedFolder, TextOf(form.Control("txtPath", other)));
            }
        }
        ASSERT_EQ(static_cast<std::size_t>(2 * index + 2), record_.browses.size());
        const Record::Browse& call = record_.browses.back();
        EXPECT_EQ(form.hWnd(), call.owner);
        EXPECT_EQ(0, call.root);
        EXPECT_EQ(0x40, call.flags);
        EXPECT_EQ(texts[index], call.caption);
    }
}

TEST_F(FormTest, BrowseButtonWithTheRealPickerFillsTheTestingFolder) {
    test::MakeFolder(scratch_ / "Chosen");
    FormSeams seams = Seams();
    seams.browseForFolder = BrowseForFolder;
    frmOrlenta& form = Load("", std::move(seams));
    form.Show();
    const std::string chosen = scratch_ / "Chosen";
    bool found = false;
    {
        test::DialogDriver driver([&] {
            HWND dialog = test::WaitForWindow("Browse for Folder");
            if (dialog == nullptr) return;
            found = GetWindow(dialog, GW_OWNER) == form.hWnd();
            found = test::SelectInPicker(dialog, true, reinterpret_cast<LPARAM>(chosen.c_str())) && found;
            test::PressButton(dialog, IDOK);
        });
        Click("cmdBrowse", 2);
    }
    EXPECT_TRUE(found);
    EXPECT_EQ(0, _stricmp(chosen.c_str(), TextOf(form.Control("txtPath", 2)).c_str()));
}

TEST_F(FormTest, CloseButtonAndSystemMenuEndTheProgram) {
    struct Case {
        const char* name;
        bool byButton;
    };
    for (const Case c : {Case{"Close button", true}, Case{"system menu", false}}) {
        SCOPED_TRACE(c.name);
        record_.programEnds = 0;
        frmOrlenta& form = Load();
        form.Show();
        HWND hwnd = form.hWnd();
        if (c.byButton) {
            Click("cmdCancel");
        } else {
            SendMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        }
        EXPECT_FALSE(IsWindow(hwnd));
        EXPECT_EQ(nullptr, form.hWnd());
        EXPECT_EQ(1, record_.programEnds);
    }
}

TEST_F(FormTest, EnterAndEscapeAreNotBoundToEitherButton) {
    frmOrlenta& form = Load();
    form.Show();
    FillRunnableSettings("1", "1");
    auto press = [&](HWND focus, WPARAM key) {
        SetFocus(focus);
        MSG msg{focus, WM_KEYDOWN, key, 0, 0, {0, 0}};
        form.TranslateDialogMessage(msg);
    };
    press(form.Control("txtPath", 0), VK_RETURN);
    press(form.Control("chkAVEFilter", 0), VK_ESCAPE);
    EXPECT_TRUE(record_.runs.empty());
    EXPECT_TRUE(IsWindow(form.hWnd()));
    // Enter presses a button only when that button has the focus.
    press(form.Control("cmdStart"), VK_RETURN);
    EXPECT_EQ(1u, record_.runs.size());
}

TEST_F(FormTest, CloseAskedForDuringARunTakesEffectWhenTheRunEnds) {
    FormSeams seams = Seams();
    seams.createShell = [this]() -> std::unique_ptr<ScriptShell> {
        struct Closing final : ScriptShell {
            const frmOrlenta* form;
            int* runs;
            long Run(const std::string&, long, bool) override {
                SendMessageA(form->hWnd(), WM_CLOSE, 0, 0);
                EXPECT_TRUE(IsWindow(form->hWnd()));
                ++*runs;
                return 0;
            }
        };
        auto shell = std::make_unique<Closing>();
        shell->form = formView_;
        shell->runs = &closingRuns_;
        return shell;
    };
    frmOrlenta& form = Load("", std::move(seams));
    FillRunnableSettings("1", "2");
    Click("cmdStart");
    EXPECT_EQ(2, closingRuns_);
    EXPECT_EQ(nullptr, form.hWnd());
    EXPECT_EQ(1, record_.programEnds);
}

TEST_F(FormTest, RepeatedWindowsAndRunsLeakNoHandles) {
    auto cycle = [&] {
        Load();
        form_->Show();
        FillRunnableSettings("1", "2");
        Click("cmdStart");
        Click("cmdCancel");
        form_.reset();
    };
    cycle();
    const DWORD gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    const DWORD user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    DWORD handles = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    for (int i = 0; i < 5; ++i) {
        cycle();
    }
    DWORD handlesAfter = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
    EXPECT_EQ(gdi, GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS));
    EXPECT_EQ(user, GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS));
    EXPECT_LE(handlesAfter, handles);
    EXPECT_EQ(10u, record_.runs.size() - 2);
}

// The built program, copied into a scratch folder on drive C: and started as an operator would.
class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string built = ORLENTA_EXE_PATH;
        for (char& c : built) {
            if (c == '/') c = '\\';
        }
        if (built.front() == '\\') {
            built = "Z:" + built;  // Wine shows the host's file system as drive Z:
        }
        exe_ = scratch_ / "Orlenta.exe";
        ASSERT_TRUE(CopyFileA(built.c_str(), exe_.c_str(), FALSE)) << built;
    }

    void Start(const std::string& arguments) {
        std::string commandLine = "\"" + exe_ + "\" " + arguments;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        ASSERT_TRUE(CreateProcessA(exe_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   scratch_.Path().c_str(), &startup, &info));
        process_.reset(info.hProcess);
        KernelHandle thread(info.hThread);
        processId_ = info.dwProcessId;
    }

    // Waits for the program to end and gives its exit code, or -1 when it is still running.
    long ExitCode() {
        if (WaitForSingleObject(process_.get(), 20000) != WAIT_OBJECT_0) {
            TerminateProcess(process_.get(), 99);
            return -1;
        }
        DWORD code = 0;
        GetExitCodeProcess(process_.get(), &code);
        return static_cast<long>(code);
    }

    HWND MainWindowOfProcess() const {
        struct Search {
            DWORD processId;
            HWND found;
        } search{processId_, nullptr};
        EnumWindows(
            [](HWND hwnd, LPARAM lParam) -> BOOL {
                auto* s = reinterpret_cast<Search*>(lParam);
                DWORD owner = 0;
                GetWindowThreadProcessId(hwnd, &owner);
                if (owner == s->processId && ClassOf(hwnd) == "frmOrlenta") {
                    s->found = hwnd;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    test::ScratchFolder scratch_;
    std::string exe_;
    KernelHandle process_;
    DWORD processId_ = 0;
};

TEST_F(ProgramTest, CarriesItsIconManifestAndVersion) {
    HMODULE image = LoadLibraryExA(exe_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, image);
    EXPECT_NE(nullptr, FindResourceA(image, MAKEINTRESOURCEA(101), MAKEINTRESOURCEA(14)));  // RT_GROUP_ICON
    EXPECT_NE(nullptr, FindResourceA(image, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)));    // RT_MANIFEST
    FreeLibrary(image);
    DWORD ignored = 0;
    EXPECT_LT(0u, GetFileVersionInfoSizeA(exe_.c_str(), &ignored));
}

TEST_F(ProgramTest, ClosingTheWindowEndsTheProgram) {
    struct Case {
        const char* name;
        bool byButton;
    };
    for (const Case c : {Case{"Close button", true}, Case{"system menu", false}}) {
        SCOPED_TRACE(c.name);
        Start("");
        HWND window = test::WaitForWindow(kFormCaption, processId_);
        ASSERT_NE(nullptr, window);
        if (c.byButton) {
            // The Close button is the second control of the tab order.
            HWND close = GetNextDlgTabItem(window, GetWindow(window, GW_CHILD), FALSE);
            ASSERT_EQ("Close", TextOf(close));
            PostMessageA(close, BM_CLICK, 0, 0);
        } else {
            PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        }
        EXPECT_EQ(0, ExitCode());
    }
}

TEST_F(ProgramTest, AutomaticRunReportsBeforeTheWindowIsShown) {
    const std::string missing = scratch_ / "No AVEs";
    Start("-AUTOSTART -AVE=\"" + missing + "\" -START=12");
    HWND box = test::WaitForWindow("KavroScript", processId_);
    ASSERT_NE(nullptr, box);
    const std::vector<std::string> texts = test::ChildTexts(box);
    EXPECT_NE(texts.end(), std::find(texts.begin(), texts.end(), missing + "\\ folder does not exist."));
    HWND main = MainWindowOfProcess();
    ASSERT_NE(nullptr, main);
    EXPECT_FALSE(IsWindowVisible(main));
    test::PressButton(box, IDOK);

    ASSERT_EQ(main, test::WaitForWindow(kFormCaption, processId_));
    const std::vector<std::string> shown = test::ChildTexts(main);
    EXPECT_NE(shown.end(), std::find(shown.begin(), shown.end(), missing));
    EXPECT_NE(shown.end(), std::find(shown.begin(), shown.end(), "12"));
    PostMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, ExitCode());
}

}  // namespace
}  // namespace orlenta
