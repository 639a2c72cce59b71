// The "About Orlenta" entry of the main window's system menu and the small box it opens.
#include "frontend/AboutBox.h"

#include "frontend/OrlentaVersion.h"
#include "frontend/resource.h"
#include "util/AppPaths.h"
#include "util/Text.h"

namespace orlenta {

void AddAboutToSystemMenu(HWND window) {
    // A window without a system menu simply gets no entry.
    HMENU menu = GetSystemMenu(window, FALSE);
    if (menu != nullptr) {
        AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(menu, MF_STRING, kAboutCommand, kAboutCaption);
    }
}

std::string AboutText() {
    return std::string("Orlenta ") + ORLENTA_VERSION_TEXT + "\nNorvik Kavro Automated Test\n\nRuns from " +
           ApplicationFolder();
}

bool HandleAboutCommand(HWND window, WPARAM command) {
    if ((command & 0xFFF0) != kAboutCommand) {
        return false;
    }
    const std::wstring text = Utf8ToWide(AboutText());
    const std::wstring caption = Utf8ToWide(kAboutCaption);
    MSGBOXPARAMSW box{};
    box.cbSize = sizeof box;
    box.hwndOwner = window;
    box.hInstance = GetModuleHandleW(nullptr);
    box.lpszText = text.c_str();
    box.lpszCaption = caption.c_str();
    box.dwStyle = MB_OK | MB_USERICON;
    box.lpszIcon = MAKEINTRESOURCEW(IDI_ORLENTA);
    MessageBoxIndirectW(&box);
    return true;
}

}  // namespace orlenta
