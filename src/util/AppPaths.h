// Where the running program lies, and what it is called.
#pragma once

#include <string>

namespace orlenta {

// Full path of the running executable, as the platform gives it.
std::string ExecutablePath();

// The folder that holds the executable: no trailing backslash except at a drive root ("C:\").
std::string ApplicationFolder();

// The executable's file name without its extension ("Orlenta" for Orlenta.exe).
std::string ProgramName();

}  // namespace orlenta
