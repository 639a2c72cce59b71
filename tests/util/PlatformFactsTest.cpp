// The few file-system facts that modFileExists and its callers rely on. A platform that differs
// fails here first, by name, rather than somewhere deep in a folder walk.
#include <string>

#include <windows.h>

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace orlenta {
namespace {

using test::MakeFolder;
using test::PathExists;
using test::ScratchFolder;
using test::WriteBytes;

// A file the walk cannot delete must stay, so that its folder chain stays with it.
TEST(PlatformFactsTest, DeletingAReadOnlyFileIsRefused) {
    ScratchFolder root;
    WriteBytes(root / "locked.txt", "l");
    ASSERT_TRUE(SetFileAttributesA((root / "locked.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    SetLastError(0);
    EXPECT_FALSE(DeleteFileA((root / "locked.txt").c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_TRUE(PathExists(root / "locked.txt"));
}

// The walk removes every folder it meets and relies on this to keep those that still hold something.
TEST(PlatformFactsTest, RemovingANonEmptyFolderFails) {
    ScratchFolder root;
    MakeFolder(root / "full");
    WriteBytes(root / "full\\f.txt", "f");
    SetLastError(0);
    EXPECT_FALSE(RemoveDirectoryA((root / "full").c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_DIR_NOT_EMPTY), GetLastError());
    EXPECT_TRUE(PathExists(root / "full\\f.txt"));
}

// The walk searches for "*.*" and expects names without a dot among the matches.
TEST(PlatformFactsTest, StarDotStarMatchesNamesWithoutADot) {
    ScratchFolder root;
    WriteBytes(root / "noext", "n");
    WIN32_FIND_DATAA data{};
    const HANDLE find = FindFirstFileA((root / "*.*").c_str(), &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    bool seen = false;
    do {
        seen = seen || std::string(data.cFileName) == "noext";
    } while (FindNextFileA(find, &data));
    FindClose(find);
    EXPECT_TRUE(seen);
}

// An empty folder field reaches FolderExists as "\", searched as ""; the run needs "no folder".
TEST(PlatformFactsTest, SearchingForAnEmptyPathFails) {
    WIN32_FIND_DATAA data{};
    const HANDLE find = FindFirstFileA("", &data);
    EXPECT_EQ(INVALID_HANDLE_VALUE, find);
    if (find != INVALID_HANDLE_VALUE) {
        FindClose(find);
    }
}

}  // namespace
}  // namespace orlenta
