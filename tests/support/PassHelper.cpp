// A stand-in for what a test script starts (a solver, say): it writes its process id to
// <folder>\pids.txt, starts one more copy of itself while <depth> is above 0, then waits until
// <folder>\release exists (at most two minutes) and exits with 0.
#include <windows.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3) {
        return 2;
    }
    const std::string folder = argv[1];
    const int depth = std::atoi(argv[2]);
    if (depth > 0) {
        std::string line = "\"" + std::string(argv[0]) + "\" \"" + folder + "\" " + std::to_string(depth - 1);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
            CloseHandle(info.hThread);
            CloseHandle(info.hProcess);
        }
    }
    // Written after the child has started, so a listed id means its child is listed or on its way.
    const HANDLE pids = CreateFileA((folder + "\\pids.txt").c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (pids != INVALID_HANDLE_VALUE) {
        const std::string line = std::to_string(GetCurrentProcessId()) + "\r\n";
        DWORD written = 0;
        WriteFile(pids, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        CloseHandle(pids);
    }
    const std::string release = folder + "\\release";
    for (int i = 0; i < 6000 && GetFileAttributesA(release.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) {
        Sleep(20);
    }
    return 0;
}
