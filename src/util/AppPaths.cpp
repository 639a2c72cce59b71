// Where the running program lies, and what it is called.
#include "util/AppPaths.h"

#include <windows.h>

namespace orlenta {

std::string ExecutablePath() {
    std::string buffer(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
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

std::string ApplicationFolder() {
    const std::string path = ExecutablePath();
    const auto slash = path.find_last_of('\\');
    if (slash == std::string::npos) {
        return {};
    }
    // "C:\Orlenta.exe" lies in "C:\", which keeps its backslash.
    if (slash == 2 && path[1] == ':') {
        return path.substr(0, 3);
    }
    return path.substr(0, slash);
}

std::string ProgramName() {
    const std::string path = ExecutablePath();
    const auto slash = path.find_last_of('\\');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const auto dot = name.find_last_of('.');
    if (dot != std::string::npos) {
        name.erase(dot);
    }
    return name;
}

}  // namespace orlenta
