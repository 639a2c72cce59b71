// Run settings defaults, the command line, and the start-up sequence that applies them.
#include "frontend/StartUp.h"

#include <windows.h>

#include "frontend/InstallationFolder.h"
#include "util/AppPaths.h"

namespace orlenta {

namespace {

// The ANSI code page's case mapping, the one every option name test has always used.
void UpperCaseInAnsiCodePage(char* text, std::size_t size) {
    if (size != 0) {
        CharUpperBuffA(text, static_cast<DWORD>(size));
    }
}

}  // namespace

bool ParseCommandLine(std::string_view commandLine, RunSettings& settings) {
    return ParseCommandLine(commandLine, settings, UpperCaseInAnsiCodePage);
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
    const std::string appFolder = ApplicationFolder();
    // Looked up even when the command line names the folder: the option simply overwrites it.
    settings = DefaultRunSettings(appFolder, FindInstallationFolder());

    if (!appFolder.empty()) {
        // The drive first, then the folder: relative names of the run resolve here.
        const std::string drive = appFolder.substr(0, 1) + ":";
        SetCurrentDirectoryA(drive.c_str());
        SetCurrentDirectoryA(appFolder.c_str());
    }

    if (commandLine.empty()) {
        return false;
    }
    return ParseCommandLine(commandLine, settings);
}

}  // namespace orlenta
