// Where the running program lies, and what it is called.
#include "util/AppPaths.h"

#include <windows.h>

#include "util/PathForm.h"
#include "util/Text.h"

namespace orlenta {

std::wstring ExecutablePath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return {};
        }
        // A full buffer means the name may have been cut: grow and ask again.
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

// "C:\Orlenta.exe" lies in "C:\", which keeps its backslash.
std::wstring ApplicationFolderPath() { return ParentFolderOf(ExecutablePath()); }

std::string ApplicationFolder() { return WideToUtf8(ApplicationFolderPath()); }

std::string ProgramName() {
    std::wstring name = LeafOf(ExecutablePath());
    const auto dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos) {
        name.erase(dot);
    }
    return WideToUtf8(name);
}

}  // namespace orlenta
