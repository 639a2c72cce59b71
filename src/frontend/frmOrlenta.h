// frmOrlenta: the program's one window, its layout table, and the run's operator interface.
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

#include "frontend/OperatorDialogs.h"
#include "frontend/modBrowseForFolder.h"
#include "run/RunLog.h"
#include "run/RunOperator.h"
#include "run/RunSettings.h"
#include "run/ScriptShell.h"
#include "util/Handles.h"

namespace orlenta {

enum class ControlKind { Frame, Label, TextBox, Button, CheckBox, SpinControl, ProgressBar };

// One control as the window's layout gives it: lengths in twips, relative to its container.
struct ControlLayout {
    const char* name;
    int index;  // position in its control array, -1 for a control of its own
    ControlKind kind;
    const char* caption;
    int left;
    int top;
    int width;
    int height;
    const char* container;  // the frame that holds it, nullptr for the client area
};

// The window's controls in the order of its layout tables.
std::span<const ControlLayout> FormLayout();

inline constexpr const char* kFormCaption = "Norvik Kavro Automated Test - v2";
inline constexpr int kFormClientWidthTwips = 6855;
inline constexpr int kFormClientHeightTwips = 6285;
inline constexpr int kTwipsPerInch = 1440;
inline constexpr long kSpinMinimum = 1;
inline constexpr long kSpinMaximum = 10000;

using FolderPicker = std::function<std::string(HWND ownerWindow, long rootFolder, long flags, const std::string& caption)>;

// What the window reaches outside itself; tests replace these to drive it in-process.
struct FormSeams {
    ScriptShellFactory createShell = CreateScriptLauncher;
    FolderPicker browseForFolder = BrowseForFolder;
    std::function<void(HWND owner, const std::string& text)> showMessage = [](HWND owner, const std::string& text) {
        ShowMessageBox(owner, text);
    };
    std::function<std::string(HWND owner, const std::string& prompt, const std::string& caption,
                              const std::string& defaultAnswer)>
        inputBox = ShowInputBox;
    std::function<void(const std::string& strOperation, const std::string& strFile, const std::string& strParameters,
                       const std::string& strDirectory, long lShowCmd)>
        openDocument = orlenta::OpenDocument;
    // A modal Yes/No question; true for Yes.
    std::function<bool(HWND owner, const std::string& text)> askYesNo = [](HWND owner, const std::string& text) {
        return AskYesNo(owner, text);
    };
    // Called when the window is destroyed: the program ends with its only window.
    std::function<void()> endProgram = [] { PostQuitMessage(0); };
};

class frmOrlenta final : public RunOperator {
public:
    // Initialise: the common controls are set up here, any failure ignored.
    explicit frmOrlenta(FormSeams seams = {});
    ~frmOrlenta() override;
    frmOrlenta(const frmOrlenta&) = delete;
    frmOrlenta& operator=(const frmOrlenta&) = delete;

    // Load: creates the window and its controls hidden, centres it, runs the start-up sequence on
    // `commandLine` (without the program's name) and shows the settings in the controls. An automatic
    // run is complete when this returns; the window is still hidden.
    void Load(std::string_view commandLine);
    // Shows the loaded window with the focus on the first control of the tab order.
    void Show(int showCommand = SW_SHOWNORMAL);
    // Keyboard navigation between the controls, for the message loop.
    bool TranslateDialogMessage(MSG& msg);

    HWND hWnd() const noexcept { return hwnd_; }
    // A control by its name and, for a control array, its index; nullptr when there is none.
    HWND Control(std::string_view name, int index = -1) const;
    // The run settings as the controls hold them; a filter flag is true only when its box is checked.
    RunSettings SettingsFromControls() const;
    void RunAutomation();

    void ShowMessage(const std::string& text) override;
    std::string InputBox(const std::string& prompt, const std::string& caption,
                         const std::string& defaultAnswer) override;
    void SetStatusText(const std::string& text) override;
    void RefreshStatus() override;
    void SetProgressMinimum(long value) override;
    void SetProgressMaximum(long value) override;
    void SetProgressValue(long value) override;
    void EnableControls(bool bEnabled) override;
    void OpenDocument(const std::string& strOperation, const std::string& strFile, const std::string& strParameters,
                      const std::string& strDirectory, long lShowCmd) override;
    bool StopRequested() override { return stopRequested_; }

private:
    struct FontTraits {
        using value_type = HFONT;
        static HFONT empty() noexcept { return nullptr; }
        static void close(HFONT font) noexcept { DeleteObject(font); }
    };

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateWindowAndControls();
    void CentreWindow();
    void ShowSettings(const RunSettings& settings);
    int TwipsToPixels(int twips) const;
    // Where a control of the layout goes in the client area, in pixels.
    RECT PlaceOf(const ControlLayout& layout) const;
    void OnCommand(int id, int code);
    void cmdBrowse_Click(int index);
    void cmdStart_Click();
    void cmdCancel_Click();
    void Unload();
    void OnCloseDuringRun();

    FormSeams seams_;
    RunSettings settings_;
    HWND hwnd_ = nullptr;
    int dpi_ = 96;
    // Pixels the column of boxes beside the labels moves right so that no caption runs into its box.
    int boxShift_ = 0;
    UniqueResource<FontTraits> font_;
    std::vector<HWND> controls_;  // by row of FormLayout()
    std::vector<int> order_;      // rows in the window's order of controls: the tab order, the rest, the frames
    HWND focusBeforeDisable_ = nullptr;
    HWND focusWhenInactive_ = nullptr;
    int runDepth_ = 0;
    bool closeRequested_ = false;
    bool stopRequested_ = false;
    std::unique_ptr<RunLog> log_;  // with "-LOG=", from the first run to the end of the program
    bool askingToStop_ = false;
};

}  // namespace orlenta
