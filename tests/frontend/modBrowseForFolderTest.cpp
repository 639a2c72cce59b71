// BrowseForFolder against the real shell dialog, answered from a second thread.
#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "WindowDriver.h"
#include "frontend/modBrowseForFolder.h"
#include "support/TestSupport.h"
#include "util/ComPtr.h"

namespace orlenta {
namespace {

TEST(BrowseForFolderTest, ReturnsThePickedFoldersPathOrEmptyText) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    test::ScratchFolder scratch;
    test::MakeFolder(scratch / "Picked");
    CoTaskMem<ITEMIDLIST> computer;  // "My Computer": an item with no file-system path
    ASSERT_EQ(S_OK, SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, computer.put()));

    const struct {
        const char* name;
        long root;
        std::string caption;
        std::string select;  // a path, or empty for Cancel (or for `item`)
        LPCITEMIDLIST item;
        std::string expected;
    } cases[] = {
        {"cancel", 0, "for AVE Folder", "", nullptr, ""},
        {"drive root keeps its backslash", 0, "for Testing Folder", "C:\\", nullptr, "C:\\"},
        {"subfolder without a trailing backslash", 0, "", scratch / "Picked", nullptr, scratch / "Picked"},
        {"unknown root number gives the desktop", 0x7ff0, "x", "C:\\", nullptr, "C:\\"},
        {"item outside the file system", 0, "x", "", computer.get(), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bool selected = c.select.empty() && c.item == nullptr;
        HWND dialogOwner = nullptr;
        std::vector<std::string> texts;
        std::string result;
        {
            std::jthread driver([&] {  // answers the modal dialog this thread is in
                HWND dialog = test::WaitForWindow("Browse for Folder");
                if (dialog == nullptr) return;
                dialogOwner = GetWindow(dialog, GW_OWNER);
                texts = test::ChildTexts(dialog);
                if (c.item != nullptr) {
                    selected = test::SelectInPicker(dialog, false, reinterpret_cast<LPARAM>(c.item));
                } else if (!c.select.empty()) {
                    selected = test::SelectInPicker(dialog, true, reinterpret_cast<LPARAM>(c.select.c_str()));
                }
                test::PressButton(dialog, selected && (c.item != nullptr || !c.select.empty()) ? IDOK : IDCANCEL);
            });
            result = BrowseForFolder(owner, c.root, 0x40, c.caption);
        }
        EXPECT_TRUE(selected);
        EXPECT_EQ(owner, dialogOwner);
        EXPECT_NE(texts.end(), std::find(texts.begin(), texts.end(), "Browsing " + c.caption));
        EXPECT_EQ(0, _stricmp(c.expected.c_str(), result.c_str())) << result;
    }
    DestroyWindow(owner);
    CoUninitialize();
}

}  // namespace
}  // namespace orlenta
