// Path normalising, existence tests and folder clearing, on the real file system of the prefix.
#include "util/modFileExists.h"

#include <algorithm>
#include <string>
#include <vector>

#include <windows.h>

#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "util/FolderWalkTestHook.h"
#include "util/Text.h"

namespace orlenta {
namespace {

using test::CurrentDirectoryGuard;
using test::HostSymlink;
using test::MakeFolder;
using test::PathExists;
using test::ScratchFolder;
using test::WriteBytes;

TEST(PathFunctionsTest, TrailingBackslashIsAddedOrRemovedAfterTrimmingSpaces) {
    struct Case {
        const char* name;
        std::string path;
        std::string removed;
        std::string added;
    };
    const Case cases[] = {
        {"empty", "", "", "\\"},
        {"spaces only", "   ", "", "\\"},
        {"plain folder", "C:\\Test", "C:\\Test", "C:\\Test\\"},
        {"spaces around", "  C:\\Test  ", "C:\\Test", "C:\\Test\\"},
        {"spaces around a backslash", "  C:\\Test\\  ", "C:\\Test", "C:\\Test\\"},
        {"two backslashes keep one", "C:\\Test\\\\", "C:\\Test\\", "C:\\Test\\\\"},
        {"lone backslash", "\\", "", "\\"},
        {"drive root", "C:\\", "C:", "C:\\"},
        {"tabs are not trimmed", "\tC:\\Test\t", "\tC:\\Test\t", "\tC:\\Test\t\\"},
        {"space before the backslash stays", "C:\\Test \\", "C:\\Test ", "C:\\Test \\"},
        {"forward slash is not a separator", "C:/Test/", "C:/Test/", "C:/Test/\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.removed, RemoveTrailingBackslash(c.path));
        EXPECT_EQ(c.added, AddTrailingBackslash(c.path));
    }
}

TEST(PathFunctionsTest, StripNullsCutsAtTheFirstNul) {
    using namespace std::string_literals;
    std::string record(MAX_PATH, '\0');
    record.replace(0, 8, "name.txt");
    struct Case {
        const char* name;
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"nul inside", "abc\0def"s, "abc"},
        {"no nul", "abc", "abc"},
        {"nul first", "\0abc"s, ""},
        {"empty", "", ""},
        {"two nuls", "a\0b\0c"s, "a"},
        {"find record field", record, "name.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, StripNulls(c.text));
    }
}

// A small tree: a.txt, noext, sub\x.txt, sub\deeper\.
class ExistenceTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteBytes(root / "a.txt", "a");
        WriteBytes(root / "noext", "n");
        MakeFolder(root / "sub\\deeper");
        WriteBytes(root / "sub\\x.txt", "x");
    }
    ScratchFolder root;
};

TEST_F(ExistenceTest, FileExistsMatchesFilesAndFoldersAndWildcards) {
    struct Case {
        const char* name;
        std::string path;
        bool expected;
    };
    const Case cases[] = {
        {"file", root / "a.txt", true},
        {"file without extension", root / "noext", true},
        {"folder", root / "sub", true},
        {"star wildcard", root / "sub\\*.txt", true},
        {"star wildcard without match", root / "sub\\*.doc", false},
        {"question mark wildcard", root / "?.txt", true},
        {"everything in an empty folder", root / "sub\\deeper\\*.txt", false},
        {"missing file", root / "missing.txt", false},
        {"file below a missing folder", root / "missing\\a.txt", false},
        {"file used as a folder", root / "a.txt\\b", false},
        {"empty path", "", false},
        {"path beyond the length limit", root / std::string(MAX_PATH, 'x'), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, FileExists(c.path));
    }
}

TEST_F(ExistenceTest, FolderExistsOnlyForFoldersAfterTrimmingOneBackslash) {
    struct Case {
        const char* name;
        std::string path;
        bool expected;
    };
    const Case cases[] = {
        {"folder", root / "sub", true},
        {"folder with a backslash", root / "sub\\", true},
        {"folder with spaces and a backslash", "  " + (root / "sub\\") + "  ", true},
        {"nested folder", root / "sub\\deeper", true},
        {"wildcard matching only a folder", root / "s?b", true},
        {"file", root / "a.txt", false},
        {"file with a backslash", root / "a.txt\\", false},
        {"wildcard matching only files", root / "*.txt", false},
        {"missing folder", root / "missing\\", false},
        {"two backslashes", root / "sub\\\\", false},
        // An empty folder box reaches the run as a lone backslash, which names no folder.
        {"lone backslash", "\\", false},
        {"empty path", "", false},
        {"spaces only", "   ", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, FolderExists(c.path));
    }
}

std::vector<std::string> Entries(const std::string& folder) { return test::TreeEntries(folder); }

TEST(DeleteFolderContentsTest, EmptiesTheFolderAndKeepsIt) {
    // The folder may be named with a trailing backslash and spaces around it.
    const std::vector<std::pair<const char*, std::string>> spellings = {
        {"plain", ""}, {"trailing backslash", "\\"}, {"spaces and backslash", "\\  "}};
    for (const auto& [name, suffix] : spellings) {
        SCOPED_TRACE(name);
        ScratchFolder root;
        WriteBytes(root / "a.txt", "a");
        WriteBytes(root / "noext", "n");
        WriteBytes(root / ".dotfile", "d");
        WriteBytes(root / "hidden.txt", "h");
        SetFileAttributesA((root / "hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        // Wine still reports 0x20 for this file; on Windows it is the 0x80 case the walk deletes too.
        WriteBytes(root / "normal.txt", "n");
        SetFileAttributesA((root / "normal.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
        MakeFolder(root / "empty");
        MakeFolder(root / "one\\two\\three");
        WriteBytes(root / "one\\two\\three\\deep.txt", "d");
        WriteBytes(root / "one\\mid.txt", "m");

        DeleteFolderContents((suffix.empty() ? "" : " ") + root.Path() + suffix);

        EXPECT_TRUE(PathExists(root.Path()));
        EXPECT_EQ(std::vector<std::string>{}, Entries(root.Path()));
    }
}

TEST(DeleteFolderContentsTest, RemovesDeepChainsAndManyEntriesFromTheBottomUp) {
    ScratchFolder root;
    // A folder can only be removed once empty, so a deep chain vanishing shows the walk goes
    // bottom-up; hundreds of entries show deleting while enumerating skips none.
    std::string deep = root / "d0";
    for (int level = 1; level < 25; ++level) {
        deep += "\\d" + std::to_string(level);
    }
    MakeFolder(deep);
    WriteBytes(deep + "\\bottom.txt", "b");
    for (int i = 0; i < 300; ++i) {
        WriteBytes(root / ("file" + std::to_string(i) + ".txt"), "f");
    }
    for (int i = 0; i < 40; ++i) {
        MakeFolder(root / ("folder" + std::to_string(i)));
        WriteBytes(root / ("folder" + std::to_string(i) + "\\inside.txt"), "i");
    }

    DeleteFolderContents(root.Path());

    EXPECT_EQ(std::vector<std::string>{}, Entries(root.Path()));
}

TEST(DeleteFolderContentsTest, KeepsDotFoldersWithEveryFolderAboveThem) {
    ScratchFolder root;
    // Twelve levels down, a kept folder stays at its own path with its parents: nothing is moved.
    const std::string deep = "a\\b\\c\\d\\e\\f\\g\\h\\i\\j\\k\\l";
    MakeFolder(root / (deep + "\\.git"));
    WriteBytes(root / (deep + "\\.git\\HEAD"), "ref");
    WriteBytes(root / (deep + "\\file.txt"), "f");
    MakeFolder(root / "keep\\inner\\.config\\nested");
    WriteBytes(root / "keep\\inner\\.config\\settings", "s");
    WriteBytes(root / "keep\\inner\\.config\\nested\\n.txt", "n");
    WriteBytes(root / "keep\\inner\\sibling.txt", "s");
    WriteBytes(root / "keep\\top.txt", "t");
    MakeFolder(root / ".top");
    WriteBytes(root / ".top\\t.txt", "t");
    MakeFolder(root / "gone\\below");
    WriteBytes(root / "gone\\below\\g.txt", "g");
    WriteBytes(root / ".dotfile", "d");

    DeleteFolderContents(root.Path());

    // Files beside the kept chain still go; the dot-folders keep everything they hold.
    std::vector<std::string> expected = {
        ".top",
        ".top\\t.txt",
        "keep",
        "keep\\inner",
        "keep\\inner\\.config",
        "keep\\inner\\.config\\nested",
        "keep\\inner\\.config\\nested\\n.txt",
        "keep\\inner\\.config\\settings",
    };
    for (std::string chain = deep;; chain.resize(chain.size() - 2)) {
        expected.push_back(chain);
        if (chain.size() == 1) break;
    }
    expected.push_back(deep + "\\.git");
    expected.push_back(deep + "\\.git\\HEAD");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, Entries(root.Path()));
}

TEST(DeleteFolderContentsTest, ReadOnlyFilesAndFoldersAreCleared) {
    ScratchFolder root;
    MakeFolder(root / "a\\b");
    MakeFolder(root / "a\\c");
    WriteBytes(root / "a\\b\\locked.txt", "l");
    WriteBytes(root / "a\\b\\free.txt", "f");
    WriteBytes(root / "a\\c\\x.txt", "x");
    WriteBytes(root / "a\\y.txt", "y");
    ASSERT_TRUE(SetFileAttributesA((root / "a\\b\\locked.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(SetFileAttributesA((root / "a\\b").c_str(), FILE_ATTRIBUTE_READONLY));

    EXPECT_TRUE(ClearFolderContents(root.Path()).empty());
    EXPECT_EQ(std::vector<std::string>{}, Entries(root.Path()));

    // A read-only file with another name outside keeps its mark there: it stays, and says why.
    ScratchFolder outside;
    WriteBytes(outside / "archive.ach", "a");
    ASSERT_TRUE(SetFileAttributesA((outside / "archive.ach").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(CreateHardLinkA((root / "linked.ach").c_str(), (outside / "archive.ach").c_str(), nullptr));
    const std::vector<RemainingEntry> remaining = ClearFolderContents(root.Path());
    ASSERT_EQ(1u, remaining.size());
    EXPECT_EQ(RemainReason::LinkedReadOnly, remaining[0].reason);
    EXPECT_NE(0u, GetFileAttributesA((outside / "archive.ach").c_str()) & FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA((outside / "archive.ach").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Trees that the ANSI, MAX_PATH-bound walk left behind, built with the host's shell inside the folder.
TEST(DeleteFolderContentsTest, ClearsTreesTheOldWalkLeftBehind) {
    struct Case {
        const char* name;
        std::string script;
    };
    const Case cases[] = {
        {"path over 300 characters",
         "d=$(printf 'x%.0s' $(seq 200)); mkdir $d && echo x > $d/$(printf 'y%.0s' $(seq 120)).txt"},
        // 1,000 levels, not 2,000: under Wine every call on a handle costs in proportion to its
        // depth, so a walk by handle through 2,000 levels takes minutes, and there the host path
        // passes the 4,096 bytes beyond which Wine deletes nothing (see docs/benchmarks.md).
        {"1,000-level tree", "i=0; while [ $i -lt 1000 ]; do mkdir a && cd a || exit 1; i=$((i+1)); done; echo x > f.txt"},
        {"Cyrillic names", "n=$(printf '\320\242\320\265\321\201\321\202'); mkdir $n && echo x > $n/$n.txt"},
        {"device names", "echo x > aux.txt && echo x > nul.log && mkdir con && echo x > con/prn.txt"},
        {"read-only file in a read-only folder",
         "mkdir -p ro/inner && echo x > ro/inner/f.txt && chmod a-w ro/inner/f.txt ro/inner ro"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchFolder root;
        ASSERT_TRUE(test::RunHostScript("cd '" + test::UnixPath(root.Path()) + "' && " + c.script));
        ASSERT_NE(std::vector<std::string>{}, Entries(root.Path()));
        EXPECT_TRUE(ClearFolderContents(root.Path()).empty());
        EXPECT_EQ(std::vector<std::string>{}, Entries(root.Path()));
    }
}

TEST(DeleteFolderContentsTest, MissingFolderOrFileIsLeftWithoutEffect) {
    ScratchFolder root;
    WriteBytes(root / "a.txt", "a");
    const std::string paths[] = {root / "missing", root / "missing\\deeper", root / "a.txt", root / "*"};
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        DeleteFolderContents(path);
        EXPECT_EQ(std::vector<std::string>{"a.txt"}, Entries(root.Path()));
    }
}

TEST(DeleteFolderContentsTest, EmptyPathNeverReachesTheRootOfTheCurrentDrive) {
    // The current drive is a scratch folder of its own, so a regression clears only that.
    ScratchFolder root;
    WriteBytes(root / "a.txt", "a");
    const HostSymlink drive = HostSymlink::Drive(root.Path(), 'T');
    if (!drive.Made()) {
        GTEST_SKIP() << "cannot make a drive of a scratch folder: " << drive.Problem();
    }
    const CurrentDirectoryGuard currentDirectory;
    ASSERT_TRUE(SetCurrentDirectoryA("T:\\"));
    for (const char* path : {"", "   ", "\\"}) {
        SCOPED_TRACE(std::string("\"") + path + "\"");
        DeleteFolderContents(path);
        EXPECT_EQ(std::vector<std::string>{"a.txt"}, Entries(root.Path()));
    }
}

TEST(DeleteFolderContentsTest, NeverWalksThroughALinkToAFolderOutside) {
    ScratchFolder outside;
    MakeFolder(outside / "sub");
    WriteBytes(outside / "o.txt", "o");
    WriteBytes(outside / "sub\\s.txt", "s");
    MakeFolder(outside / "other");
    WriteBytes(outside / "other\\e.txt", "e");
    ScratchFolder root;
    MakeFolder(root / "plain");
    WriteBytes(root / "plain\\p.txt", "p");
    WriteBytes(root / "r.txt", "r");
    const HostSymlink link(outside.Path(), root / "link");
    // Wine lists a link to a file as a plain file and opens its target.
    const HostSymlink fileLink(outside / "o.txt", root / "filelink.txt");
    if (!link.Made() || !fileLink.Made()) {
        GTEST_SKIP() << "cannot build a link: " << link.Problem() << fileLink.Problem();
    }
    // The walk tells a link by this bit alone; without it the link would be walked like a folder.
    EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT,
              GetFileAttributesA((root / "link").c_str()) &
                  (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));

    DeleteFolderContents(root.Path());

    std::vector<std::string> outsideEntries = Entries(outside.Path());
    std::sort(outsideEntries.begin(), outsideEntries.end());
    const std::vector<std::string> untouched = {"o.txt", "other", "other\\e.txt", "sub", "sub\\s.txt"};
    EXPECT_EQ(untouched, outsideEntries);
    EXPECT_FALSE(PathExists(root / "plain"));
    EXPECT_FALSE(PathExists(root / "r.txt"));
}

// A folder replaced by a link between its parent's listing and its own opening is not entered.
TEST(DeleteFolderContentsTest, FolderReplacedByALinkDuringTheWalkIsNotEnteredAndIsNamed) {
    ScratchFolder outside;
    WriteBytes(outside / "canary.txt", "keep");
    ScratchFolder root;
    MakeFolder(root / "sub");
    WriteBytes(root / "sub\\s.txt", "s");
    WriteBytes(root / "r.txt", "r");
    const std::string unixRoot = test::UnixPath(root.Path());
    bool swapped = false;
    test_hooks::SetFolderListedHook([&](const std::wstring&) {
        if (!swapped) {
            swapped = test::RunHostScript("cd '" + unixRoot + "' && mv sub sub.old && ln -s '" +
                                          test::UnixPath(outside.Path()) + "' sub");
        }
    });
    const std::vector<RemainingEntry> remaining = ClearFolderContents(root.Path());
    test_hooks::SetFolderListedHook({});
    ASSERT_TRUE(swapped);

    EXPECT_EQ("keep", test::ReadBytes(outside / "canary.txt"));
    const auto named = std::find_if(remaining.begin(), remaining.end(), [&](const RemainingEntry& entry) {
        return entry.path == AnsiToWide(root / "sub");
    });
    ASSERT_NE(remaining.end(), named);
    EXPECT_EQ(RemainReason::Changed, named->reason);
    EXPECT_FALSE(PathExists(root / "r.txt"));
    EXPECT_TRUE(test::RunHostScript("rm '" + unixRoot + "/sub'"));
}

}  // namespace
}  // namespace orlenta
