// The reference for the per-pass overhead: launches one script N times as a run does it (the .vbs
// association's own command, window style 5, waiting for each end), and nothing else.
// Usage: bench_passes SCRIPT N
#include <windows.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "util/Handles.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_passes SCRIPT N\n");
        return 2;
    }
    const std::string script = argv[1];
    const int passes = std::atoi(argv[2]);

    char command[1024];
    DWORD length = sizeof command;
    if (AssocQueryStringA(0, ASSOCSTR_COMMAND, ".vbs", "open", command, &length) != S_OK) {
        std::fprintf(stderr, "no command for .vbs\n");
        return 1;
    }
    // "%1" is the script, "%*" the (absent) arguments.
    std::string commandLine = command;
    if (const auto at = commandLine.find("%1"); at != std::string::npos) {
        commandLine.replace(at, 2, script);
    }
    if (const auto at = commandLine.find("%*"); at != std::string::npos) {
        commandLine.erase(at, 2);
    }

    for (int pass = 0; pass < passes; ++pass) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_SHOW;
        PROCESS_INFORMATION process{};
        std::string line = commandLine;
        if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
            std::fprintf(stderr, "CreateProcess failed (%lu)\n", GetLastError());
            return 1;
        }
        orlenta::KernelHandle processHandle(process.hProcess);
        orlenta::KernelHandle threadHandle(process.hThread);
        WaitForSingleObject(processHandle.get(), INFINITE);
    }
    return 0;
}
