// Where the running program lies, and what it is called.
#pragma once

#include <string>

namespace orlenta {

// Full path of the running executable, as the platform gives it.
std::wstring ExecutablePath();

// The folder that holds the executable: no trailing backslash except at a drive root ("C:\").
std::wstring ApplicationFolderPath();
// The same as text (UTF-8), for settings and messages.
std::string ApplicationFolder();

// The application title, the caption of every message box that is given none of its own.
inline constexpr const char* kApplicationTitle = "KavroScript";

// The executable's file name without its extension ("Orlenta" for Orlenta.exe).
std::string ProgramName();

}  // namespace orlenta
