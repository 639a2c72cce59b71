// Finding the analysis product's installation folder from its type-library registration.
#include "frontend/InstallationFolder.h"

#include <exception>

#include <windows.h>

#include "registry/cRegistry.h"
#include "util/Handles.h"

namespace orlenta {

namespace {

constexpr const char* kTypeLibraryKey = "TypeLib\\{66C20C07-9934-11D3-8A0E-00105AA3D05E}\\1.0\\0\\win32";
constexpr const char* kMissingMarker = "-1";
constexpr const char* kFallbackFolder = "C:\\Program Files\\KAVRO";

// The registered type-library path, or the marker when it can't be read for any reason.
std::string RegisteredTypeLibrary() {
    try {
        cRegistry registry;
        registry.ClassKey(registry_root::kClassesRoot);
        registry.SectionKey(kTypeLibraryKey);
        registry.ValueKey("");
        registry.ValueType(REG_SZ);
        registry.Default(kMissingMarker);
        return registry.value().ToText();
    } catch (const std::exception&) {
        return kMissingMarker;
    }
}

}  // namespace

std::string FindInstallationFolder() {
    const std::string registered = RegisteredTypeLibrary();
    if (registered == kMissingMarker) {
        return kFallbackFolder;
    }
    return GetParentFolder(GetLongPath(registered));
}

std::string GetLongPath(const std::string& path) {
    const std::string work = path + "\\";
    std::string longPath;
    // The search starts at the fourth character so that the root separator of "X:\" is skipped.
    for (auto slash = work.find('\\', 3); slash != std::string::npos; slash = work.find('\\', slash + 1)) {
        const std::string prefix = work.substr(0, slash);
        // A wildcard would let the lookup answer with whatever entry matches it.
        if (prefix.find_first_of("*?") != std::string::npos) {
            return {};
        }
        WIN32_FIND_DATAA entry{};
        const FindHandle found(FindFirstFileA(prefix.c_str(), &entry));
        if (!found) {
            return {};
        }
        longPath += '\\';
        longPath += entry.cFileName;
    }
    return path.substr(0, 2) + longPath;
}

std::string GetParentFolder(const std::string& path) {
    const auto last = path.find_last_of(":\\");
    if (last == std::string::npos) {
        return {};
    }
    return path[last] == ':' ? path.substr(0, last + 1) : path.substr(0, last);
}

}  // namespace orlenta
