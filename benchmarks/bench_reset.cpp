// The program's testing-folder reset as the run does it: the folder's contents, then the folder.
// Usage: bench_reset FOLDER
#include <windows.h>

#include <cstdio>

#include "util/modFileExists.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_reset FOLDER\n");
        return 2;
    }
    orlenta::DeleteFolderContents(argv[1]);
    RemoveDirectoryA(orlenta::RemoveTrailingBackslash(argv[1]).c_str());
    return orlenta::FolderExists(argv[1]) ? 1 : 0;
}
