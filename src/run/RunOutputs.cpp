// Where a run may write its log, its JUnit results and its other records.
#include "run/RunOutputs.h"

#include <windows.h>

#include "run/JUnitReport.h"
#include "run/RunFolderLock.h"
#include "run/RunLog.h"
#include "util/FileIdentity.h"
#include "util/Handles.h"
#include "util/LongPath.h"
#include "util/PathForm.h"
#include "util/Text.h"
#include "util/modFileExists.h"

namespace orlenta {

namespace {

constexpr const wchar_t* kInputFileName = L"InputData.txt";

std::wstring Joined(const std::wstring& folder, const std::wstring& name) {
    return (!folder.empty() && folder.back() == L'\\' ? folder : folder + L"\\") + name;
}

DWORD AttributesOf(const std::wstring& path) { return GetFileAttributesW(ExtendedLengthPath(path).c_str()); }

// The first bytes of an existing file; nothing when it cannot be read.
std::optional<std::string> Beginning(const std::wstring& path) {
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const FileHandle file(CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ, kShareAll, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
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
    const std::wstring& path = output.Path;
    const auto refuse = [&](const std::string& why) {
        return std::optional<std::string>(std::string(output.Option) + WideToUtf8(path) + " " + why);
    };
    struct Place {
        const char* what;
        std::wstring folder;
    };
    const auto full = [](const std::string& text) { return TrimSpaces(text).empty() ? std::wstring() : FullPathForm(text).full; };
    const Place protectedFolders[] = {
        {"the testing folder, which the run deletes", full(settings.TestingFolder)},
        {"the AVE folder", full(settings.AVEFolder)},
        {"the installation folder", full(settings.InstallationFolder)},
        {"the program's Files folder", Joined(places.ApplicationFolder, L"Files")},
    };
    for (const Place& place : protectedFolders) {
        if (!place.folder.empty() && (IsInsideFolder(path, place.folder) || IsSameFolder(path, place.folder))) {
            return refuse("lies inside " + std::string(place.what) + ".");
        }
    }
    if (IsSameFile(path, places.ProgramPath)) {
        return refuse("is the program itself.");
    }
    if (IsSameFile(path, Joined(places.WorkingFolder, kInputFileName))) {
        return refuse("is the run's input file.");
    }
    if (IsSameFile(path, Joined(places.WorkingFolder, Utf8ToWide(kLockFileName)))) {
        return refuse("is the run's lock file.");
    }
    for (const RunOutputFile& other : outputs) {
        if (&other != &output && !other.Path.empty() && IsSameFile(path, other.Path)) {
            return refuse(std::string("is also the ") + other.What + ".");
        }
    }
    const DWORD attributes = AttributesOf(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return refuse("is a folder.");
    }
    // A drive's or a share's root is a folder like any other; a listing would never find it.
    const DWORD parent = AttributesOf(ParentFolderOf(path));
    if (parent == INVALID_FILE_ATTRIBUTES || (parent & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return refuse("lies in a folder that does not exist.");
    }
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        const auto beginning = Beginning(path);
        if (!beginning && output.JudgedWhenReadable) {
            return std::nullopt;
        }
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

std::optional<std::string> RunOutputRefusal(const RunSettings& settings, const RunOutputPaths& paths,
                                            const RunOutputPlaces& places, const std::vector<RunOutputFile>& more) {
    std::vector<RunOutputFile> outputs = {{"-LOG=", "log", paths.Log.empty() ? places.DefaultLog : paths.Log, IsLogOfOurs},
                                          {"-JUNIT=", "JUnit file", paths.JUnit, IsJUnitOfOurs}};
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

std::optional<std::string> MakeOutputPathsFull(const NightlyOptions& nightly, RunOutputPaths& paths) {
    std::optional<std::string> refusal;
    const std::pair<const std::string*, std::wstring*> files[] = {{&nightly.LogFile, &paths.Log},
                                                                   {&nightly.JUnitFile, &paths.JUnit},
                                                                   {&nightly.HistoryFile, &paths.History},
                                                                   {&nightly.ReportFile, &paths.Report}};
    for (const auto& [text, path] : files) {
        path->clear();
        if (TrimSpaces(*text).empty()) {
            continue;
        }
        const PathForm form = FullPathForm(*text);
        if (form.usable()) {
            *path = form.full;
        } else if (!refusal) {
            refusal = "the file " + *text + " cannot be used: " +
                      (form.refusal.empty() ? std::string("it cannot be made a full path") : form.refusal) + ".";
        }
    }
    return refusal;
}

}  // namespace orlenta
