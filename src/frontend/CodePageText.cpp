// Texts the system's ANSI code page cannot hold.
#include "frontend/CodePageText.h"

#include "util/AppPaths.h"
#include "util/Text.h"

namespace orlenta {

bool FitsAnsiCodePage(std::wstring_view text) { return WideToAnsiExactly(text).has_value(); }

std::optional<std::string> UnspellableValueMessage(std::string_view valueName, std::wstring_view value) {
    if (FitsAnsiCodePage(value)) {
        return std::nullopt;
    }
    return "The " + std::string(valueName) + " \"" + WideToUtf8(value) +
           "\" holds characters that the system's code page cannot represent, so nothing was run. "
           "Rename the folder, or give it by its short name.";
}

std::optional<std::string> UnspellableProgramFolderMessage() {
    return UnspellableValueMessage("program's folder", ApplicationFolderPath());
}

}  // namespace orlenta
