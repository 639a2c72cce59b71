// frmOrlenta created in-process and driven by messages; a few tests start the built program.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <optional>
#include <thread>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include "WindowDriver.h"
#include "frontend/AboutBox.h"
#include "frontend/InstallationFolder.h"
#include "frontend/OperatorDialogs.h"
#include "frontend/OrlentaVersion.h"
#include "frontend/frmOrlenta.h"
#include "support/TestSupport.h"
#include "util/AppPaths.h"
#include "util/Handles.h"
#include "util/Text.h"

namespace orlenta {
namespace {

using test::TextOf;

// The window's layout tables: kind, caption (nullptr where a box shows a setting), twips in the container.
struct Expected {
    const char* name;
    int index;
    const char* kind;
    const char* caption;
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
    return index < 0 ? name : std::string(name) + "(" + std::to_string(index) + ")";
}

std::string KindOf(HWND hwnd) {
    char name[64] = {};
    GetClassNameA(hwnd, name, static_cast<int>(sizeof name));
    const std::string cls = name;
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

RECT RectInClient(HWND form, HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// What one script run saw of the window, looked at from inside the script shell.
struct Pass {
    bool windowVisible;
    int enabledControls;
    std::string status;
    LRESULT progress;
    std::vector<std::string> inputLines;
};

class FormTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        test::MakeFolder(scratch_ / "AVES");
        test::MakeFolder(scratch_ / "Kavro");
        test::WriteBytes(scratch_ / "Kavro\\KavFrame.exe", "");
    }
    void TearDown() override {
        form_.reset();
        CoUninitialize();
    }

    struct RecordingShell final : ScriptShell {
        FormTest* test;
        explicit RecordingShell(FormTest* t) : test(t) {}
        long Run(const std::string&, long, bool) override {
            const frmOrlenta& form = *test->form_;
            if (test->closeDuringRun_) {
                SendMessageA(form.hWnd(), WM_CLOSE, 0, 0);
            }
            Pass pass{IsWindowVisible(form.hWnd()) != FALSE, 0, TextOf(form.Control("lblStatus")),
                      SendMessageA(form.Control("ProgressBar1"), PBM_GETPOS, 0, 0), {}};
            for (const ControlLayout& row : FormLayout()) {
                pass.enabledControls += IsWindowEnabled(form.Control(row.name, row.index)) ? 1 : 0;
            }
            std::istringstream in(test::ReadBytes("InputData.txt"));
            for (std::string line; std::getline(in, line);) {
                pass.inputLines.push_back(line.substr(0, line.find('\r')));
            }
            test->passes_.push_back(std::move(pass));
            return 0;
        }
    };

    frmOrlenta& Load(const std::string& commandLine = "") {
        FormSeams seams;
        seams.createShell = [this] { return std::unique_ptr<ScriptShell>(new RecordingShell(this)); };
        seams.browseForFolder = [this](HWND owner, long root, long flags, const std::string& caption) {
            browses_.push_back(caption);
            EXPECT_EQ(form_->hWnd(), owner);
            EXPECT_EQ(0, root);
            EXPECT_EQ(0x40, flags);
            return picked_;
        };
        seams.showMessage = [this](HWND, const std::string& text) { messages_.push_back(text); };
        seams.inputBox = [](HWND, const std::string&, const std::string&, const std::string&) { return std::string(); };
        seams.openDocument = [this](const std::string&, const std::string& file, const std::string&,
                                    const std::string&, long) { documents_.push_back(file); };
        seams.endProgram = [this] { ++programEnds_; };
        seams.askYesNo = [this](HWND, const std::string& text) {
            questions_.push_back(text);
            return stopAnswer_;
        };
        if (launcherScript_) {
            // The real launcher on a script of the test's own, whatever command the run builds.
            seams.createShell = [this] {
                struct OwnScript final : ScriptShell {
                    std::string script;
                    long Run(const std::string&, long, bool) override { return 0; }
                    ScriptRun RunPass(const std::string&, long style, const PassLimits& limits) override {
                        return CreateScriptLauncher()->RunPass("\"" + script + "\"", style, limits);
                    }
                };
                auto shell = std::make_unique<OwnScript>();
                shell->script = *launcherScript_;
                return std::unique_ptr<ScriptShell>(std::move(shell));
            };
        }
        form_ = std::make_unique<frmOrlenta>(std::move(seams));
        form_->Load(commandLine);
        return *form_;
    }

    HWND Ctl(const char* name, int index = -1) const { return form_->Control(name, index); }
    void Click(const char* name, int index = -1) { SendMessageA(Ctl(name, index), BM_CLICK, 0, 0); }
    // Boxes that let a run pass every check without a prompt.
    void FillRunnableSettings(const char* start, const char* stop) {
        SetWindowTextA(Ctl("txtPath", 0), (scratch_ / "AVES").c_str());
        SetWindowTextA(Ctl("txtPath", 1), (scratch_ / "Kavro").c_str());
        SetWindowTextA(Ctl("txtPath", 2), (scratch_ / "Results").c_str());
        SetWindowTextA(Ctl("txtStartIndex"), start);
        SetWindowTextA(Ctl("txtStopIndex"), stop);
    }
    std::vector<std::string> Flags(const Pass& pass) const {
        return {pass.inputLines.begin() + 3, pass.inputLines.begin() + 8};
    }

    test::ScratchFolder scratch_;
    std::unique_ptr<frmOrlenta> form_;
    std::vector<Pass> passes_;
    std::vector<std::string> messages_, documents_, browses_;
    std::string picked_;
    bool closeDuringRun_ = false;
    bool stopAnswer_ = false;
    std::vector<std::string> questions_;
    std::optional<std::string> launcherScript_;
    int programEnds_ = 0;
    test::CurrentDirectoryGuard currentDirectory_;
};

TEST_F(FormTest, EveryControlHasItsKindCaptionStateAndPlace) {
    HWND hwnd = Load().hWnd();
    EXPECT_EQ("Norvik Kavro Automated Test - v2", TextOf(hwnd));
    // The system menu ends with the About entry, which is no control of the layout.
    HMENU menu = GetSystemMenu(hwnd, FALSE);
    const int last = GetMenuItemCount(menu) - 1;
    char item[64] = {};
    GetMenuStringA(menu, static_cast<UINT>(last), item, static_cast<int>(sizeof item), MF_BYPOSITION);
    EXPECT_STREQ("About Orlenta", item);
    EXPECT_EQ(kAboutCommand, GetMenuItemID(menu, last));
    RECT r{};
    GetClientRect(hwnd, &r);
    EXPECT_EQ(6855, r.right * 15);
    EXPECT_EQ(6285, r.bottom * 15);
    GetWindowRect(hwnd, &r);
    EXPECT_EQ((GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2, r.left);
    EXPECT_EQ((GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2, r.top);

    int children = 0;
    for (HWND child = GetWindow(hwnd, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        ++children;
    }
    EXPECT_EQ(static_cast<int>(std::size(kExpectedLayout)), children);
    for (const Expected& e : kExpectedLayout) {
        SCOPED_TRACE(Describe(e.name, e.index));
        HWND control = Ctl(e.name, e.index);
        ASSERT_NE(nullptr, control);
        EXPECT_EQ(e.kind, KindOf(control));
        if (e.caption != nullptr) {
            EXPECT_EQ(e.caption, TextOf(control));
        }
        EXPECT_TRUE(IsWindowEnabled(control));
        RECT c = RectInClient(hwnd, control);
        if (e.container != nullptr) {
            const RECT frame = RectInClient(hwnd, Ctl(e.container));
            OffsetRect(&c, -frame.left, -frame.top);
        }
        EXPECT_EQ(e.left, c.left * 15);
        EXPECT_EQ(e.top, c.top * 15);
        EXPECT_EQ(e.height, (c.bottom - c.top) * 15);
        if (std::string(e.kind) == "label" && e.caption[0] != '\0') {
            // A label grows to show its caption on its one line, never shrinks, and stops before the boxes.
            EXPECT_LE(e.width, (c.right - c.left) * 15);
            EXPECT_GE(c.right - c.left, CaptionWidth(control));
            EXPECT_LE(c.right * 15, 2760);
        } else {
            EXPECT_EQ(e.width, (c.right - c.left) * 15);
        }
    }
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(BST_CHECKED, SendMessageA(Ctl("chkAVEFilter", k), BM_GETCHECK, 0, 0)) << k;
    }
}

TEST_F(FormTest, TabOrderStartsAtStartWhichHasTheFocus) {
    Load().Show();
    EXPECT_EQ(Ctl("cmdStart"), GetFocus());
    const std::pair<const char*, int> order[] = {
        {"cmdCancel", -1},    {"chkAVEFilter", 0},   {"chkAVEFilter", 1},   {"chkAVEFilter", 2},
        {"chkAVEFilter", 3},  {"chkAVEFilter", 4},   {"txtPath", 0},        {"txtPath", 1},
        {"txtPath", 2},       {"txtStartIndex", -1}, {"txtStopIndex", -1},  {"udStartIndex", -1},
        {"udStopIndex", -1},  {"cmdBrowse", 2},      {"cmdBrowse", 1},      {"cmdBrowse", 0},
        {"cmdStart", -1},
    };
    HWND current = Ctl("cmdStart");
    for (const auto& [name, index] : order) {
        SCOPED_TRACE(Describe(name, index));
        current = GetNextDlgTabItem(form_->hWnd(), current, FALSE);
        EXPECT_EQ(Ctl(name, index), current);
    }
    // No default button: Enter in a box starts nothing.
    SetFocus(Ctl("txtPath", 0));
    MSG enter{Ctl("txtPath", 0), WM_KEYDOWN, VK_RETURN, 0, 0, {0, 0}};
    form_->TranslateDialogMessage(enter);
    EXPECT_TRUE(passes_.empty());
}

TEST_F(FormTest, LoadShowsTheDefaultsOrTheCommandLineValues) {
    const std::string app = ApplicationFolder();
    const struct {
        const char* commandLine;
        std::vector<std::string> texts;  // txtPath(0..2), txtStartIndex, txtStopIndex
    } cases[] = {
        {"", {app + (app.back() == '\\' ? "" : "\\") + "AVES", FindInstallationFolder(), "C:\\Test", "1", "213"}},
        {"-AVE=\"C:\\My AVEs\" -KAVRO=E:\\k -TESTING=D:\\x -START=abc -STOP=9",
         {"C:\\My AVEs", "E:\\k", "D:\\x", "abc", "9"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.commandLine);
        Load(c.commandLine);
        EXPECT_EQ(c.texts, (std::vector<std::string>{TextOf(Ctl("txtPath", 0)), TextOf(Ctl("txtPath", 1)),
                                                     TextOf(Ctl("txtPath", 2)), TextOf(Ctl("txtStartIndex")),
                                                     TextOf(Ctl("txtStopIndex"))}));
        EXPECT_FALSE(IsWindowVisible(form_->hWnd()));
        EXPECT_TRUE(passes_.empty());
    }
}

TEST_F(FormTest, AutomaticRunEndsBeforeTheWindowIsShownAndLeavesTheCommandLineValues) {
    Load("-AUTOSTART -AVE=\"" + (scratch_ / "AVES") + "\" -KAVRO=\"" + (scratch_ / "Kavro") + "\" -TESTING=\"" +
         (scratch_ / "Results") + "\" -START=3 -STOP=4");
    ASSERT_EQ(2u, passes_.size());
    EXPECT_FALSE(passes_[0].windowVisible || passes_[1].windowVisible);
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(scratch_ / "Results", TextOf(Ctl("txtPath", 2)));
    EXPECT_EQ("3", TextOf(Ctl("txtStartIndex")));
    EXPECT_FALSE(IsWindowVisible(form_->hWnd()));
}

TEST_F(FormTest, StartRunsWithEveryControlDisabledAndEnablesThemAllAfterwards) {
    Load().Show();
    FillRunnableSettings("7", "9");
    EnableWindow(Ctl("chkAVEFilter", 2), FALSE);
    SendMessageA(Ctl("chkAVEFilter", 1), BM_SETCHECK, BST_UNCHECKED, 0);

    Click("cmdStart");

    ASSERT_EQ(3u, passes_.size());
    for (std::size_t i = 0; i < passes_.size(); ++i) {
        const std::string ave = "Ave00" + std::to_string(7 + i);
        SCOPED_TRACE(ave);
        EXPECT_EQ(0, passes_[i].enabledControls);
        EXPECT_EQ(scratch_ / "AVES\\" + ave + "\\" + ave + ".ach", passes_[i].status);
        EXPECT_EQ(static_cast<LRESULT>(i), passes_[i].progress);
        ASSERT_EQ(9 + i, passes_[i].inputLines.size());
        EXPECT_EQ((std::vector<std::string>{"True", "False", "True", "True", "True"}), Flags(passes_[i]));
    }
    for (const ControlLayout& row : FormLayout()) {
        EXPECT_TRUE(IsWindowEnabled(Ctl(row.name, row.index))) << Describe(row.name, row.index);
    }
    EXPECT_EQ("", TextOf(Ctl("lblStatus")));
    EXPECT_EQ(0, SendMessageA(Ctl("ProgressBar1"), PBM_GETPOS, 0, 0));
    EXPECT_EQ(std::vector<std::string>{scratch_ / "Results\\TestResults.htm"}, documents_);
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(Ctl("cmdStart"), GetFocus());
}

TEST_F(FormTest, CloseDuringARunAsksToStopYesStopsAndClosesNoGoesOn) {
    for (const bool yes : {true, false}) {
        SCOPED_TRACE(yes ? "Yes" : "No");
        passes_.clear();
        documents_.clear();
        questions_.clear();
        programEnds_ = 0;
        stopAnswer_ = yes;
        Load().Show();
        FillRunnableSettings("1", "2");
        closeDuringRun_ = true;
        Click("cmdStart");
        // Each close asks again until the answer is Yes; Yes skips the second pass.
        ASSERT_EQ(std::vector<std::string>(yes ? 1u : 2u, "A run is in progress. Stop it now? The current AVE's "
                                                          "script and everything it started will be ended."),
                  questions_);
        EXPECT_EQ(yes ? 1u : 2u, passes_.size());
        EXPECT_EQ(1u, documents_.size());
        EXPECT_EQ(yes, form_->hWnd() == nullptr);
        EXPECT_EQ(yes ? 1 : 0, programEnds_);
        closeDuringRun_ = false;
        form_.reset();
    }
}

TEST_F(FormTest, WindowAnswersDuringALongPassAndAStopEndsEveryProcessOfIt) {
    const test::PassFamily family{scratch_.Path()};
    launcherScript_ = scratch_ / "pass.vbs";
    test::WriteBytes(*launcherScript_, family.Script(1, 0));
    stopAnswer_ = true;
    Load().Show();
    FillRunnableSettings("1", "3");
    const HWND window = form_->hWnd();
    std::atomic<bool> answered{false};
    std::thread watcher([&] {
        const ULONGLONG deadline = GetTickCount64() + 60000;
        while (family.Pids().size() < 2 && GetTickCount64() < deadline) {
            Sleep(20);
        }
        // The window's thread waits inside the pass, yet takes its messages: it is not hung.
        DWORD_PTR ignored = 0;
        answered = SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored) != 0;
        PostMessageA(window, WM_CLOSE, 0, 0);
    });
    Click("cmdStart");
    watcher.join();

    EXPECT_TRUE(answered);
    EXPECT_EQ(1u, questions_.size());
    EXPECT_EQ(2u, family.Pids().size());
    EXPECT_TRUE(family.AllEnded()) << "a process of the stopped pass survived it";
    EXPECT_EQ(std::vector<std::string>{scratch_ / "Results\\TestResults.htm"}, documents_);
    EXPECT_EQ(nullptr, form_->hWnd());
    family.Release();
}

TEST_F(FormTest, FiveUntickedBoxesGiveFiveFalseLines) {
    Load();
    FillRunnableSettings("1", "1");
    for (int k = 0; k < 5; ++k) Click("chkAVEFilter", k);
    Click("cmdStart");
    ASSERT_EQ(1u, passes_.size());
    EXPECT_EQ(std::vector<std::string>(5, "False"), Flags(passes_[0]));
}

TEST_F(FormTest, ProgressBarRefusesAReversedRangeOnceAndTheRunGoesOn) {
    Load();
    FillRunnableSettings("5", "2");
    Click("cmdStart");
    EXPECT_TRUE(passes_.empty());
    EXPECT_EQ(std::vector<std::string>{"Description: Invalid property value\r\nLine No.: 460"}, messages_);
    EXPECT_EQ(1u, documents_.size());
    PBRANGE range{};
    SendMessageA(Ctl("ProgressBar1"), PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(0, range.iLow);
    EXPECT_EQ(100, range.iHigh);
}

// A folder the ANSI code page cannot spell would reach the run with "?" in it: nothing runs.
TEST_F(FormTest, FolderTheCodePageCannotSpellRunsNothing) {
    Load();
    FillRunnableSettings("1", "2");
    SetWindowTextW(Ctl("txtPath", 2), L"C:\\\x0422\x0435\x0441\x0442");
    Click("cmdStart");
    ASSERT_EQ(1u, messages_.size());
    EXPECT_EQ(0u, messages_[0].find("The testing folder C:\\")) << messages_[0];
    EXPECT_NE(std::string::npos, messages_[0].find("rename the folder, or give it by its short name."));
    EXPECT_TRUE(passes_.empty());
    EXPECT_FALSE(test::PathExists(scratch_ / "InputData.txt"));
}

// The real prompt, answered from a second thread as an operator would type a Cyrillic folder.
TEST(OperatorDialogsTest, PromptAnswerTheCodePageCannotSpellEndsThePromptAsCancel) {
    std::vector<std::string> boxTexts;
    std::thread operatorAtTheKeyboard([&] {
        const HWND prompt = test::WaitForWindow("Unspellable answer");
        if (prompt == nullptr) return;
        SetWindowTextW(GetDlgItem(prompt, 1002), L"C:\\\x0422\x0435\x0441\x0442");
        test::PressButton(prompt, IDOK);
        if (const HWND box = test::WaitForWindow("KavroScript")) {
            boxTexts = test::ChildTexts(box);
            test::PressButton(box, IDOK);
        }
    });
    const std::string answer = ShowInputBox(nullptr, "Where?", "Unspellable answer", "C:\\Test");
    operatorAtTheKeyboard.join();
    EXPECT_EQ("", answer);
    EXPECT_NE(boxTexts.end(), std::find_if(boxTexts.begin(), boxTexts.end(), [](const std::string& text) {
                  return text.find("The answer \"C:\\") == 0 && text.find("short name") != std::string::npos;
              }));
}

TEST_F(FormTest, SpinControlsStepByOneWithinTheirRangeFromTheTypedNumber) {
    Load();
    for (const auto& [spinName, boxName] : {std::pair{"udStartIndex", "txtStartIndex"}, {"udStopIndex", "txtStopIndex"}}) {
        HWND spin = Ctl(spinName);
        HWND box = Ctl(boxName);
        EXPECT_EQ(box, reinterpret_cast<HWND>(SendMessageA(spin, UDM_GETBUDDY, 0, 0)));
        const struct {
            const char* typed;
            WPARAM key;
            const char* shown;
        } cases[] = {
            {"50", VK_UP, "51"},      {"50", VK_DOWN, "49"},     {"1", VK_DOWN, "1"},  {"9999", VK_UP, "10000"},
            {"10000", VK_UP, "10000"}, {"213", VK_DOWN, "212"},
            {"abc", VK_UP, "213"},  // not a number: the press starts from the control's last value
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(spinName) + " " + c.typed + (c.key == VK_UP ? " up" : " down"));
            SetWindowTextA(box, c.typed);
            SendMessageA(box, WM_KEYDOWN, c.key, 0);
            SendMessageA(box, WM_KEYUP, c.key, 0);
            EXPECT_EQ(c.shown, TextOf(box));
        }
    }
}

TEST_F(FormTest, BrowseReplacesTheBoxOnlyWhenAFolderComesBack) {
    Load();
    const char* texts[] = {"for AVE Folder", "for Norvik Kavro Installation Folder", "for Testing Folder"};
    for (int index = 0; index < 3; ++index) {
        SCOPED_TRACE(index);
        const std::string before = TextOf(Ctl("txtPath", index));
        picked_ = "";
        Click("cmdBrowse", index);
        EXPECT_EQ(before, TextOf(Ctl("txtPath", index)));
        picked_ = "D:\\Picked " + std::to_string(index);
        Click("cmdBrowse", index);
        EXPECT_EQ(picked_, TextOf(Ctl("txtPath", index)));
        EXPECT_EQ(std::vector<std::string>(2, texts[index]),
                  std::vector<std::string>(browses_.end() - 2, browses_.end()));
    }
    EXPECT_EQ("D:\\Picked 0", TextOf(Ctl("txtPath", 0)));
}

TEST_F(FormTest, RepeatedWindowsAndRunsLeakNoHandles) {
    auto cycle = [&] {
        Load().Show();
        FillRunnableSettings("1", "2");
        Click("cmdStart");
        Click("cmdCancel");
        EXPECT_EQ(nullptr, form_->hWnd());
        form_.reset();
    };
    cycle();
    auto counts = [] {
        DWORD handles = 0;
        GetProcessHandleCount(GetCurrentProcess(), &handles);
        // GetGuiResources gives 0 under Wine, which leaves only the handle count to compare there.
        return std::vector<DWORD>{handles, GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS),
                                  GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS)};
    };
    const std::vector<DWORD> before = counts();
    for (int i = 0; i < 5; ++i) cycle();
    EXPECT_EQ(before, counts());
    EXPECT_EQ(12u, passes_.size());
}

// The built program, copied to a scratch folder on drive C: and started as an operator would; or,
// for the packaging test, the program where its installer put it (ORLENTA_PROGRAM_UNDER_TEST).
class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* installed = std::getenv("ORLENTA_PROGRAM_UNDER_TEST"); installed != nullptr && *installed) {
            exe_ = installed;
            return;
        }
        std::string built = ORLENTA_EXE_PATH;
        std::replace(built.begin(), built.end(), '/', '\\');
        if (built.front() == '\\') built = "Z:" + built;  // Wine shows the host's file system as drive Z:
        exe_ = scratch_ / "Orlenta.exe";
        ASSERT_TRUE(CopyFileA(built.c_str(), exe_.c_str(), FALSE)) << built;
    }

    HWND Start(const std::string& arguments, const char* firstWindow) {
        std::string commandLine = "\"" + exe_ + "\" " + arguments;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        EXPECT_TRUE(CreateProcessA(exe_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   scratch_.Path().c_str(), &startup, &info));
        process_.reset(info.hProcess);
        KernelHandle thread(info.hThread);
        processId_ = info.dwProcessId;
        return test::WaitForWindow(firstWindow, processId_);
    }

    // The program's exit code once it has ended, or -1 when it did not end in time.
    long ExitCode() {
        DWORD code = 0;
        if (WaitForSingleObject(process_.get(), 20000) != WAIT_OBJECT_0) {
            TerminateProcess(process_.get(), 99);
            return -1;
        }
        GetExitCodeProcess(process_.get(), &code);
        return static_cast<long>(code);
    }

    test::ScratchFolder scratch_;
    std::string exe_;
    KernelHandle process_;
    DWORD processId_ = 0;
};

TEST_F(ProgramTest, CloseButtonOrSystemMenuEndsTheProgram) {
    for (const bool byButton : {true, false}) {
        SCOPED_TRACE(byButton ? "Close button" : "system menu");
        HWND window = Start("", kFormCaption);
        ASSERT_NE(nullptr, window);
        if (byButton) {
            HWND close = GetNextDlgTabItem(window, GetWindow(window, GW_CHILD), FALSE);  // second in the tab order
            ASSERT_EQ("Close", TextOf(close));
            PostMessageA(close, BM_CLICK, 0, 0);
        } else {
            PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        }
        EXPECT_EQ(0, ExitCode());
    }
}

TEST_F(ProgramTest, AboutBoxShowsTheVersionResourcesVersionAndTheProgramFolder) {
    DWORD ignored = 0;
    std::vector<char> info(GetFileVersionInfoSizeA(exe_.c_str(), &ignored));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(GetFileVersionInfoA(exe_.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    char* product = nullptr;
    UINT size = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &size));
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(ORLENTA_VERSION_MINOR, ORLENTA_VERSION_MAJOR)), fixed->dwFileVersionMS);
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(0, ORLENTA_VERSION_PATCH)), fixed->dwFileVersionLS);
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\StringFileInfo\\040904B0\\ProductVersion",
                               reinterpret_cast<void**>(&product), &size));
    EXPECT_STREQ(ORLENTA_VERSION_TEXT, product);

    HWND window = Start("", kFormCaption);
    ASSERT_NE(nullptr, window);
    PostMessageA(window, WM_SYSCOMMAND, kAboutCommand, 0);
    HWND box = test::WaitForWindow(kAboutCaption, processId_);
    ASSERT_NE(nullptr, box);
    std::string shown;
    for (const std::string& text : test::ChildTexts(box)) shown += text + "|";
    EXPECT_NE(std::string::npos, shown.find(std::string("Orlenta ") + ORLENTA_VERSION_TEXT + "\n")) << shown;
    EXPECT_NE(std::string::npos, shown.find("Runs from " + exe_.substr(0, exe_.find_last_of('\\')) + "|")) << shown;
    test::PressButton(box, IDOK);
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, ExitCode());
}

TEST_F(ProgramTest, AutomaticRunReportsBeforeTheWindowIsShown) {
    const std::string missing = scratch_ / "No AVEs";
    HWND box = Start("-AUTOSTART -AVE=\"" + missing + "\" -START=12", "KavroScript");
    ASSERT_NE(nullptr, box);
    const std::vector<std::string> texts = test::ChildTexts(box);
    EXPECT_NE(texts.end(), std::find(texts.begin(), texts.end(), missing + "\\ folder does not exist."));
    EXPECT_EQ(nullptr, test::WaitForWindow(kFormCaption, processId_, std::chrono::milliseconds(0)));
    test::PressButton(box, IDOK);

    HWND window = test::WaitForWindow(kFormCaption, processId_);
    ASSERT_NE(nullptr, window);
    const std::vector<std::string> shown = test::ChildTexts(window);
    EXPECT_NE(shown.end(), std::find(shown.begin(), shown.end(), missing));
    EXPECT_NE(shown.end(), std::find(shown.begin(), shown.end(), "12"));
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, ExitCode());
}

TEST_F(ProgramTest, CommandLineTheCodePageCannotSpellRunsNothing) {
    const std::wstring folders = L" -AVE=" + AnsiToWide(scratch_.Path()) + L" -KAVRO=" + AnsiToWide(scratch_.Path());
    std::wstring commandLine =
        L"\"" + AnsiToWide(exe_) + L"\" -AUTOSTART" + folders + L" -TESTING=C:\\\x0422\x0435\x0441\x0442 -STOP=1";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               AnsiToWide(scratch_.Path()).c_str(), &startup, &info));
    process_.reset(info.hProcess);
    KernelHandle thread(info.hThread);
    // The value reaches the run whole; the run refuses the folder before the input file is written.
    HWND box = test::WaitForWindow("KavroScript", info.dwProcessId);
    ASSERT_NE(nullptr, box);
    const std::vector<std::string> texts = test::ChildTexts(box);
    EXPECT_NE(texts.end(), std::find_if(texts.begin(), texts.end(), [](const std::string& text) {
                  return text.find("The testing folder C:\\") == 0 &&
                         text.find("give it by its short name") != std::string::npos;
              }));
    test::PressButton(box, IDOK);
    const HWND window = test::WaitForWindow(kFormCaption, info.dwProcessId);
    ASSERT_NE(nullptr, window);
    EXPECT_FALSE(test::PathExists(scratch_ / "InputData.txt"));
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, ExitCode());
}

// In a dialog face wider than the classic one (a monospaced face stands in for it here) a label
// grows to its caption and the boxes beside it move right: no caption runs into its box.
TEST_F(ProgramTest, LabelsGrownToTheirCaptionsStayClearOfTheBoxesBesideThem) {
    constexpr const char* kSubstitutes = "Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes";
    constexpr const char* kWideFace = "Courier New";
    char previous[LF_FACESIZE] = {};
    DWORD size = sizeof previous;
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueA(HKEY_LOCAL_MACHINE, kSubstitutes, "MS Shell Dlg", RRF_RT_REG_SZ, nullptr,
                                          previous, &size));
    // A new process reads the substitutes when it starts.
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, kSubstitutes, "MS Shell Dlg", REG_SZ, kWideFace, 12);
    HWND window = Start("", kFormCaption);
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, kSubstitutes, "MS Shell Dlg", REG_SZ, previous,
                    static_cast<DWORD>(strlen(previous) + 1));
    ASSERT_NE(nullptr, window);

    LOGFONTA face{};
    face.lfHeight = -MulDiv(8, 96, 72);
    lstrcpynA(face.lfFaceName, kWideFace, LF_FACESIZE);
    const HFONT font = CreateFontIndirectA(&face);
    HDC dc = GetDC(nullptr);
    const HGDIOBJ before = SelectObject(dc, font);
    std::vector<HWND> children;
    const auto collect = [](HWND child, LPARAM list) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
        return TRUE;
    };
    EnumChildWindows(window, collect, reinterpret_cast<LPARAM>(&children));
    int labels = 0;
    for (HWND label : children) {
        const std::string caption = TextOf(label);
        if (caption.rfind("Path to", 0) != 0 && caption.find("AVE number") == std::string::npos) continue;
        SCOPED_TRACE(caption);
        ++labels;
        const RECT l = RectInClient(window, label);
        SIZE text{};
        GetTextExtentPoint32A(dc, caption.c_str(), static_cast<int>(caption.size()), &text);
        EXPECT_GE(l.right - l.left, text.cx) << "the caption is cut off";
        for (HWND box : children) {
            const RECT b = RectInClient(window, box);
            char cls[16] = {};
            GetClassNameA(box, cls, sizeof cls);
            if (_stricmp(cls, "Edit") == 0 && b.top < l.bottom && l.top < b.bottom) {
                EXPECT_LE(l.right, b.left) << "the label runs into its box";
            }
        }
    }
    EXPECT_EQ(5, labels);
    // The measuring face really is wider: the longest caption would not fit before the boxes' old place.
    SIZE longest{};
    GetTextExtentPoint32A(dc, "Path to Norvik Kavro installation", 33, &longest);
    EXPECT_GT(longest.cx, (2760 - 240) / 15);
    SelectObject(dc, before);
    ReleaseDC(nullptr, dc);
    DeleteObject(font);
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, ExitCode());
}

}  // namespace
}  // namespace orlenta
