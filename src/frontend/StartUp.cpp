// Run settings defaults, the command line, and the start-up sequence that applies them.
#include "frontend/StartUp.h"

#include <algorithm>

#include <windows.h>

#include "frontend/InstallationFolder.h"
#include "util/AppError.h"
#include "util/AppPaths.h"
#include "util/Text.h"

namespace orlenta {

namespace {

// The platform's case mapping, character by character; a character whose upper case would take
// another number of bytes keeps its place as it is, since the option value is cut from the token
// at the places the names are found in its upper-cased copy.
void UpperCaseKeepingPlaces(char* text, std::size_t size) {
    std::size_t at = 0;
    while (at < size) {
        std::size_t length = 1;
        const auto lead = static_cast<unsigned char>(text[at]);
        if (lead >= 0xF0) {
            length = 4;
        } else if (lead >= 0xE0) {
            length = 3;
        } else if (lead >= 0xC0) {
            length = 2;
        }
        length = std::min(length, size - at);
        const std::string upper = ToUpperText(std::string_view(text + at, length));
        if (upper.size() == length) {
            std::copy(upper.begin(), upper.end(), text + at);
        }
        at += length;
    }
}

}  // namespace

bool ParseCommandLine(std::string_view commandLine, RunSettings& settings) {
    return ParseCommandLine(commandLine, settings, UpperCaseKeepingPlaces);
}

RunSettings DefaultRunSettings(const std::string& applicationFolder, const std::string& installationFolder) {
    RunSettings settings;
    // "C:\" already ends in its backslash: no doubled one before "AVES".
    settings.AVEFolder = applicationFolder;
    if (settings.AVEFolder.empty() || settings.AVEFolder.back() != '\\') {
        settings.AVEFolder += '\\';
    }
    settings.AVEFolder += "AVES";
    settings.InstallationFolder = installationFolder;
    settings.TestingFolder = "C:\\Test";
    settings.StartIndex = "1";
    settings.StopIndex = "213";
    return settings;
}

bool RunStartUpSequence(RunSettings& settings, std::string_view commandLine) {
    const std::wstring appFolder = ApplicationFolderPath();
    // Looked up even when the command line names the folder: the option simply overwrites it.
    settings = DefaultRunSettings(WideToUtf8(appFolder), AnsiToUtf8(FindInstallationFolder()));

    if (!appFolder.empty()) {
        // The drive first, then the folder: relative names of the run resolve here. The input file
        // and the lock go to the current folder, so a run must never start in another one.
        const std::wstring drive = appFolder.substr(0, 1) + L":";
        SetCurrentDirectoryW(drive.c_str());
        if (!SetCurrentDirectoryW(appFolder.c_str())) {
            const AppError failure = AppError::FromLastError();
            throw AppError(failure.Number(), failure.Source(),
                           "The program's folder " + WideToUtf8(appFolder) +
                               " cannot be made the current folder, so nothing was run: " + failure.Description());
        }
    }

    if (commandLine.empty()) {
        return false;
    }
    return ParseCommandLine(commandLine, settings);
}

}  // namespace orlenta
