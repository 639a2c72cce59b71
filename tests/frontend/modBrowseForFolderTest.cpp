// BrowseForFolder against the real shell dialog, driven from a second thread.
#include <algorithm>
#include <string>
#include <vector>

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "frontend/modBrowseForFolder.h"
#include "WindowDriver.h"
#include "support/TestSupport.h"
#include "util/ComPtr.h"

namespace orlenta {
namespace {

constexpr const char* kPickerTitle = "Browse for Folder";
constexpr long kNewDialogStyle = 0x40;

// What the driver saw of the dialog it answered.
struct Seen {
    bool found = false;
    bool selected = false;
    HWND owner = nullptr;
    std::vector<std::string> texts;
};

class BrowseForFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        owner_ = CreateWindowExA(0, "STATIC", "picker owner", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(nullptr, owner_);
    }
    void TearDown() override {
        DestroyWindow(owner_);
        CoUninitialize();
    }

    // Runs BrowseForFolder on this thread while a second thread selects `select` (a path, or an
    // item list when `item` is given) and presses OK, or presses Cancel when there is nothing to select.
    std::string Browse(long root, const std::string& caption, const std::string& select, LPCITEMIDLIST item,
                       Seen& seen, bool selectionMoves = true) {
        test::DialogDriver driver([&] {
            HWND dialog = test::WaitForWindow(kPickerTitle);
            if (dialog == nullptr) {
                return;
            }
            seen.found = true;
            seen.owner = GetWindow(dialog, GW_OWNER);
            seen.texts = test::ChildTexts(dialog);
            if (item != nullptr) {
                seen.selected = test::SelectInPicker(dialog, false, reinterpret_cast<LPARAM>(item), selectionMoves);
                test::PressButton(dialog, IDOK);
            } else if (!select.empty()) {
                seen.selected =
                    test::SelectInPicker(dialog, true, reinterpret_cast<LPARAM>(select.c_str()), selectionMoves);
                test::PressButton(dialog, IDOK);
            } else {
                test::PressButton(dialog, IDCANCEL);
            }
        });
        return BrowseForFolder(owner_, root, kNewDialogStyle, caption);
    }

    HWND owner_ = nullptr;
};

bool Contains(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

TEST_F(BrowseForFolderTest, ReturnsThePickedFolderOrEmptyText) {
    test::ScratchFolder scratch;
    test::MakeFolder(scratch / "Picked");
    struct Case {
        const char* name;
        long root;
        std::string select;  // empty: Cancel
        std::string expected;
    };
    const Case cases[] = {
        {"cancel", 0, "", ""},
        {"drive root keeps its backslash", 0, "C:\\", "C:\\"},
        {"subfolder without a trailing backslash", 0, scratch / "Picked", scratch / "Picked"},
        {"unknown root number falls back to the desktop", 0x7ff0, "C:\\", "C:\\"},
        {"negative root is the desktop", -3, scratch.Path(), scratch.Path()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Seen seen;
        const std::string result = Browse(c.root, "for Testing Folder", c.select, nullptr, seen);
        ASSERT_TRUE(seen.found);
        EXPECT_TRUE(seen.selected || c.select.empty());
        EXPECT_EQ(owner_, seen.owner);
        EXPECT_EQ(0, _stricmp(c.expected.c_str(), result.c_str())) << result;
    }
}

TEST_F(BrowseForFolderTest, ItemOutsideTheFileSystemGivesEmptyText) {
    CoTaskMem<ITEMIDLIST> computer;
    ASSERT_EQ(S_OK, SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, computer.put()));
    Seen seen;
    EXPECT_EQ("", Browse(0, "for AVE Folder", "", computer.get(), seen));
    EXPECT_TRUE(seen.found);
    EXPECT_TRUE(seen.selected);
}

TEST_F(BrowseForFolderTest, TitleLineIsBrowsingFollowedByTheCaption) {
    struct Case {
        const char* caption;
        const char* line;
    };
    const Case cases[] = {
        {"for AVE Folder", "Browsing for AVE Folder"},
        {"", "Browsing "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Seen seen;
        Browse(0, c.caption, "", nullptr, seen);
        ASSERT_TRUE(seen.found);
        EXPECT_TRUE(Contains(seen.texts, c.line));
    }
}

TEST_F(BrowseForFolderTest, KnownRootLimitsTheTreeToThatFolder) {
    // Rooted at the fonts folder, the drive root cannot be selected, so OK returns the root itself.
    char fonts[MAX_PATH] = {};
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, fonts, CSIDL_FONTS, FALSE));
    Seen seen;
    const std::string result = Browse(CSIDL_FONTS, "for AVE Folder", "C:\\", nullptr, seen, false);
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(0, _stricmp(fonts, result.c_str())) << result;
}

}  // namespace
}  // namespace orlenta
