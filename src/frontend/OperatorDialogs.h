// The operator's modal message boxes and input prompts.
#pragma once

#include <string>

#include <windows.h>

#include "util/AppPaths.h"

namespace orlenta {

// A window's text (a control's caption or contents), and setting it; texts in UTF-8.
std::string WindowText(HWND window);
void SetWindowTextUtf8(HWND window, const std::string& text);

// A modal box with the OK button only and no icon.
void ShowMessageBox(HWND owner, const std::string& text, const std::string& caption = kApplicationTitle);

// A modal question with Yes and No, No the default; true for Yes.
bool AskYesNo(HWND owner, const std::string& text, const std::string& caption = kApplicationTitle);

// A modal prompt: caption, prompt text, an edit field filled with the default, OK and Cancel.
// OK gives the field's text; Cancel (or closing the prompt) gives empty text.
std::string ShowInputBox(HWND owner, const std::string& prompt, const std::string& caption,
                         const std::string& defaultAnswer);

}  // namespace orlenta
