// Where a run may write its log, its JUnit results and its other records.
#include "run/RunOutputs.h"

#include <windows.h>

#include "run/JUnitReport.h"
#include "run/RunFolderLock.h"
#include "run/RunLog.h"
#include "run/TestingFolderReset.h"
#include "util/PathForm.h"
#include "util/Handles.h"
#include "util/Text.h"
#include "util/modFileExists.h"

namespace orlenta {

namespace {

constexpr const char* kInputFileName = "InputData.txt";

// The one door to path identity here, so that it can follow the shared path form when there is one.
bool Within(const std::string& path, const std::string& folder) { return IsInsideFolder(path, folder); }

std::string ParentOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 2 && path[1] == ':' ? 3 : slash);
}

std::string LeafOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The same file, also when it does not exist yet: its name in the same folder.
bool SameFile(const std::string& a, const std::string& b) {
    return IsSamePlace(a, b) ||
           (ToLowerText(LeafOf(a)) == ToLowerText(LeafOf(b)) && IsSamePlace(ParentOf(a), ParentOf(b)));
}

// The first bytes of an existing file; nothing when it cannot be read.
std::optional<std::string> Beginning(const std::string& path) {
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const FileHandle file(
        CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes(4096, '\0');
    DWORD read = 0;
    if (!file || !ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) {
        return std::nullopt;
    }
    bytes.resize(read);
    return bytes;
}

bool IsJUnitOfOurs(const std::string& text) { return IsOrlentaJUnitText(text); }
bool IsLogOfOurs(const std::string& text) { return IsOrlentaLogText(text); }

std::optional<std::string> Refusal(const RunOutputFile& output, const std::vector<RunOutputFile>& outputs,
                                   const RunSettings& settings, const RunOutputPlaces& places) {
    const std::string& path = output.Path;
    const auto refuse = [&](const std::string& why) {
        return std::optional<std::string>(std::string(output.Option) + path + " " + why);
    };
    struct Place {
        const char* what;
        std::string folder;
    };
    const Place protectedFolders[] = {
        {"the testing folder, which the run deletes", settings.TestingFolder},
        {"the AVE folder", settings.AVEFolder},
        {"the installation folder", settings.InstallationFolder},
        {"the program's Files folder", AddTrailingBackslash(places.ApplicationFolder) + "Files"},
    };
    for (const Place& place : protectedFolders) {
        if (!TrimSpaces(place.folder).empty() && (Within(path, place.folder) || IsSamePlace(path, place.folder))) {
            return refuse("lies inside " + std::string(place.what) + ".");
        }
    }
    if (SameFile(path, places.ProgramPath)) {
        return refuse("is the program itself.");
    }
    if (SameFile(path, AddTrailingBackslash(places.WorkingFolder) + kInputFileName)) {
        return refuse("is the run's input file.");
    }
    if (SameFile(path, AddTrailingBackslash(places.WorkingFolder) + kLockFileName)) {
        return refuse("is the run's lock file.");
    }
    for (const RunOutputFile& other : outputs) {
        if (&other != &output && !other.Path.empty() && SameFile(path, other.Path)) {
            return refuse(std::string("is also the ") + other.What + ".");
        }
    }
    if (FolderExists(path)) {
        return refuse("is a folder.");
    }
    if (!FolderExists(ParentOf(path))) {
        return refuse("lies in a folder that does not exist.");
    }
    if (FileExists(path)) {
        const auto beginning = Beginning(path);
        if (!beginning) {
            return refuse("exists and cannot be read, so it cannot be told to be one this program wrote.");
        }
        if (!beginning->empty() && !output.IsOurs(*beginning)) {
            return refuse("exists and is not one this program wrote.");
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> RunOutputRefusal(const RunSettings& settings, const RunOutputPlaces& places,
                                            const std::vector<RunOutputFile>& more) {
    std::vector<RunOutputFile> outputs = {
        {"-LOG=", "log", settings.Nightly.LogFile.empty() ? places.DefaultLog : settings.Nightly.LogFile, IsLogOfOurs},
        {"-JUNIT=", "JUnit file", settings.Nightly.JUnitFile, IsJUnitOfOurs}};
    outputs.insert(outputs.end(), more.begin(), more.end());
    for (const RunOutputFile& output : outputs) {
        if (output.Path.empty()) {
            continue;
        }
        if (auto refusal = Refusal(output, outputs, settings, places)) {
            return refusal;
        }
    }
    return std::nullopt;
}

std::optional<std::string> MakeOutputPathsFull(NightlyOptions& nightly) {
    std::optional<std::string> refusal;
    for (std::string* file : {&nightly.LogFile, &nightly.JUnitFile, &nightly.HistoryFile, &nightly.ReportFile}) {
        const PathForm form = FullPathForm(*file);
        if (form.usable()) {
            *file = form.full;
        } else if (!form.refusal.empty() && !refusal) {
            refusal = "the file " + *file + " cannot be used: " + form.refusal + ".";
        }
    }
    return refusal;
}

}  // namespace orlenta
