// The "About Orlenta" entry of the main window's system menu and the small box it opens.
#pragma once

#include <string>

#include <windows.h>

namespace orlenta {

inline constexpr const char* kAboutCaption = "About Orlenta";
// System-menu commands lie below 0xF000, and the system keeps their low four bits for itself.
inline constexpr UINT kAboutCommand = 0x0010;

// Appends a separator and "About Orlenta" to the window's system menu.
void AddAboutToSystemMenu(HWND window);

// For WM_SYSCOMMAND: when the command is the About entry, shows the box and returns true.
bool HandleAboutCommand(HWND window, WPARAM command);

// The box's text: the program's name and version, and the folder it runs from.
std::string AboutText();

}  // namespace orlenta
