// A picture of a window as a PNG file.
#pragma once

#include <string>

#include <windows.h>

namespace orlenta {

// Saves what the screen shows at the window's place as a PNG file at `path` (replacing one that is
// there); raises AppError when it cannot. The calling thread must have COM initialised.
void SaveWindowPicture(HWND window, const std::wstring& path);

}  // namespace orlenta
