// A stand-in for what a test script starts (a solver, say): it writes its process id to
// <folder>\pids.txt and its job's limit flags to <folder>\job.txt, starts one more copy of itself
// while <depth> is above 0, then waits until <folder>\release exists (at most two minutes) and exits
// with 0. With "hold" after the depth it keeps <folder>\held open, unshared, while it waits. Given
// only "box", it shows a box whose text holds a letter beyond any Western code page, and waits on it.
#include <windows.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "box") {
        FreeConsole();  // its console's window is no window of the box's
        MessageBoxW(nullptr, L"The licence server \u03a9 cannot be found.", L"Kavro licence", MB_OK);
        return 0;
    }
    if (argc < 3) {
        return 2;
    }
    const std::string folder = argv[1];
    const int depth = std::atoi(argv[2]);
    const bool hold = argc > 3 && std::string(argv[3]) == "hold";
    const HANDLE held = hold ? CreateFileA((folder + "\\held").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr)
                             : INVALID_HANDLE_VALUE;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    if (QueryInformationJobObject(nullptr, JobObjectExtendedLimitInformation, &limits, sizeof limits, nullptr)) {
        const HANDLE job = CreateFileA((folder + "\\job.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        const std::string flags = std::to_string(limits.BasicLimitInformation.LimitFlags);
        DWORD written = 0;
        WriteFile(job, flags.data(), static_cast<DWORD>(flags.size()), &written, nullptr);
        CloseHandle(job);
    }
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
    if (held != INVALID_HANDLE_VALUE) {
        CloseHandle(held);
    }
    return 0;
}
