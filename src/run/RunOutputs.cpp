// Where a run may write its log, its JUnit results and its other records.
#include "run/RunOutputs.h"

#include <windows.h>

#include "run/JUnitReport.h"
#include "run/OwnFile.h"
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

// An existing file opened to be judged: read access, every sharing mode, no link followed where
// the system can help it.
FileHandle OpenToJudge(const std::wstring& path) {
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    return FileHandle(CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// Where a path shows nothing, a link may still take its name (under Wine a link that leads nowhere
// is not listed): a file made new there without following links, and deleted as it closes, tells.
std::optional<std::string> HiddenLinkReason(const std::wstring& path) {
    OwnFileOpening probe = OpenOwnFile(path, GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE);
    return probe.Refusal.empty() ? std::nullopt : std::optional<std::string>(probe.Refusal);
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
    // The file an existing path reaches is judged where it lies, too. Looking needs no read access,
    // so a file another program holds is judged all the same.
    const FileHandle looked = OpenToLook(path, false);
    const std::wstring reached = looked ? FinalPathOf(looked.get()) : std::wstring();
    for (const Place& place : protectedFolders) {
        for (const std::wstring& where : {path, reached}) {
            if (!place.folder.empty() && !where.empty() &&
                (IsInsideFolder(where, place.folder) || IsSameFolder(where, place.folder))) {
                return refuse("lies inside " + std::string(place.what) + ".");
            }
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
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (auto reason = HiddenLinkReason(path)) {
            return refuse(*reason);
        }
        return std::nullopt;
    }
    if (looked) {
        if (auto reason = NotOwnFileReason(path, looked.get())) {
            return refuse(*reason);
        }
    }
    const FileHandle existing = OpenToJudge(path);
    const auto beginning = existing ? BeginningOf(existing.get()) : std::nullopt;
    // A file another program holds now is judged when it can first be read (the history).
    if (!beginning && output.JudgedWhenReadable) {
        return std::nullopt;
    }
    if (!beginning) {
        return refuse("exists and cannot be read, so it cannot be told to be one this program wrote.");
    }
    if (!beginning->empty() && !output.IsOurs(*beginning)) {
        return refuse("exists and is not one this program wrote.");
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> RunOutputRefusal(const RunSettings& settings, const RunOutputPaths& paths,
                                            const RunOutputPlaces& places, const std::vector<RunOutputFile>& more) {
    // The default log is named as such: no -LOG= was given.
    std::vector<RunOutputFile> outputs = {{paths.Log.empty() ? "the run log " : "-LOG=", "log",
                                           paths.Log.empty() ? places.DefaultLog : paths.Log, IsLogOfOurs},
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
