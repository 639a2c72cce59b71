// The line-oriented text file: bytes on disk, line ends, states, and the process's number table.
#include "util/clsTextFile.h"

#include <memory>
#include <string>
#include <vector>

#include <windows.h>

#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "util/AppError.h"
#include "util/AppPaths.h"
#include "util/Handles.h"

namespace orlenta {
namespace {

using test::PathExists;
using test::ReadBytes;
using test::ScratchFolder;
using test::WriteBytes;

// The number of the AppError that `action` throws, 0 when it throws none.
template <typename Action>
long ErrorNumber(Action action) {
    try {
        action();
    } catch (const AppError& error) {
        EXPECT_EQ(ProgramName(), error.Source());
        EXPECT_FALSE(error.Description().empty());
        return error.Number();
    }
    return 0;
}

// True when nothing in the process holds the file open: sharing nothing succeeds only then.
bool NobodyHolds(const std::string& path) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(file);
    return true;
}

TEST(clsTextFileTest, WritesLinesWithCrLfInTheAnsiBytesGiven) {
    ScratchFolder root;
    const std::string path = root / "out.txt";
    {
        clsTextFile file;
        EXPECT_EQ(1, file.OpenTextFileForWrite(path, false));
        file.WriteLine("first");
        file.WriteLine("");
        file.WriteLine("caf\xE9 \t end ");
        file.WriteLine("inner\nfeed");
        file.CloseTextFile();
        EXPECT_EQ(0, file.FileNumber());
    }
    EXPECT_EQ("first\r\n\r\ncaf\xE9 \t end \r\ninner\nfeed\r\n", ReadBytes(path));
}

TEST(clsTextFileTest, WriteEmptiesOrAppendsAndCreatesWhenMissing) {
    struct Case {
        const char* name;
        bool existing;
        bool append;
        std::string expected;
    };
    const Case cases[] = {
        {"overwrite existing", true, false, "new\r\n"},
        {"append to existing", true, true, "old\r\nno end" "new\r\n"},
        {"overwrite creates", false, false, "new\r\n"},
        {"append creates", false, true, "new\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchFolder root;
        const std::string path = root / "data.txt";
        if (c.existing) {
            WriteBytes(path, "old\r\nno end");
        }
        clsTextFile file;
        file.OpenTextFileForWrite(path, c.append);
        file.WriteLine("new");
        file.CloseTextFile();
        EXPECT_EQ(c.expected, ReadBytes(path));
    }
}

TEST(clsTextFileTest, ReadsLinesEndedByCarriageReturnWithOrWithoutLineFeed) {
    // The reader works in chunks of 512 bytes: these lines put a line end across that boundary.
    const std::string x511(511, 'x');
    const std::string y700(700, 'y');
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {"crlf lines", "one\r\ntwo\r\n", {"one", "two"}},
        {"carriage return alone ends a line", "one\rtwo\r", {"one", "two"}},
        {"line feed alone stays in the text", "one\ntwo\r\nthree\n", {"one\ntwo", "three\n"}},
        {"last line without a line end", "one\r\nlast", {"one", "last"}},
        {"empty lines", "\r\n\r\n", {"", ""}},
        {"carriage return then crlf", "a\r\r\nb", {"a", "", "b"}},
        {"line feed first", "\n\r\n", {"\n"}},
        {"empty file", "", {}},
        {"crlf across the chunk boundary", x511 + "\r\nnext\r\n", {x511, "next"}},
        {"cr alone at the chunk boundary", x511 + "\rnext", {x511, "next"}},
        {"cr ending the file at the boundary", x511 + "\r", {x511}},
        {"line longer than a chunk", y700 + "\r\n" + y700, {y700, y700}},
        {"bytes above 127", "caf\xE9\r\n", {"caf\xE9"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchFolder root;
        const std::string path = root / "in.txt";
        WriteBytes(path, c.bytes);
        clsTextFile file;
        EXPECT_EQ(1, file.OpenTextFileForRead(path));
        std::vector<std::string> lines;
        while (!file.AtEndOfStream() && lines.size() <= c.lines.size()) {
            lines.push_back(file.ReadLine());
        }
        EXPECT_EQ(c.lines, lines);
        EXPECT_TRUE(file.AtEndOfStream());
        EXPECT_EQ(error_number::kInputPastEndOfFile, ErrorNumber([&] { file.ReadLine(); }));
    }
}

TEST(clsTextFileTest, ClosedObjectIgnoresWritesAndReadsButNotAtEndOfStream) {
    clsTextFile file;
    EXPECT_EQ(0, ErrorNumber([&] { file.WriteLine("nowhere"); }));
    std::string line = "marker";
    EXPECT_EQ(0, ErrorNumber([&] { line = file.ReadLine(); }));
    EXPECT_EQ("", line);
    EXPECT_EQ(error_number::kBadFileNumber, ErrorNumber([&] { file.AtEndOfStream(); }));
    file.CloseTextFile();
    file.CloseTextFile();
    EXPECT_EQ(0, file.FileNumber());
}

TEST(clsTextFileTest, FailedOpenLeavesTheObjectStaleUntilClosed) {
    ScratchFolder root;
    struct Case {
        const char* name;
        bool forWrite;
        std::string path;
        long platformError;
    };
    const Case cases[] = {
        {"read of a missing file", false, root / "missing.txt", ERROR_FILE_NOT_FOUND},
        {"write in a missing folder", true, root / "missing\\out.txt", ERROR_PATH_NOT_FOUND},
        {"write onto a folder", true, root.Path(), ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clsTextFile file;
        EXPECT_EQ(c.platformError, ErrorNumber([&] {
                      c.forWrite ? file.OpenTextFileForWrite(c.path, false) : file.OpenTextFileForRead(c.path);
                  }));
        EXPECT_EQ(1, file.FileNumber());
        EXPECT_EQ(error_number::kBadFileNumber, ErrorNumber([&] { file.WriteLine("x"); }));
        EXPECT_EQ(error_number::kBadFileNumber, ErrorNumber([&] { file.ReadLine(); }));
        EXPECT_EQ(error_number::kBadFileNumber, ErrorNumber([&] { file.AtEndOfStream(); }));
        file.CloseTextFile();
        EXPECT_EQ(0, file.FileNumber());
        EXPECT_EQ(0, ErrorNumber([&] { file.WriteLine("x"); }));
    }
}

TEST(clsTextFileTest, StaleObjectNeverReachesAnotherObjectsFile) {
    ScratchFolder root;
    const std::string path = root / "other.txt";
    clsTextFile stale;
    EXPECT_NE(0, ErrorNumber([&] { stale.OpenTextFileForRead(root / "missing.txt"); }));
    ASSERT_EQ(1, stale.FileNumber());

    // The stale object still owns number 1, so the next object gets 2.
    clsTextFile other;
    EXPECT_EQ(2, other.OpenTextFileForWrite(path, false));
    other.WriteLine("mine");
    EXPECT_EQ(error_number::kBadFileNumber, ErrorNumber([&] { stale.WriteLine("intruder"); }));
    stale.CloseTextFile();
    other.WriteLine("still mine");
    other.CloseTextFile();
    EXPECT_EQ("mine\r\nstill mine\r\n", ReadBytes(path));
}

TEST(clsTextFileTest, ModeMismatchIsABadFileMode) {
    ScratchFolder root;
    const std::string path = root / "f.txt";
    WriteBytes(path, "line\r\n");
    clsTextFile reader;
    reader.OpenTextFileForRead(path);
    EXPECT_EQ(54, ErrorNumber([&] { reader.WriteLine("x"); }));
    clsTextFile writer;
    writer.OpenTextFileForWrite(root / "g.txt", false);
    EXPECT_EQ(54, ErrorNumber([&] { writer.ReadLine(); }));
    EXPECT_EQ("line", reader.ReadLine());
}

TEST(clsTextFileTest, OneWriterPerFileAndReadersStillRead) {
    ScratchFolder root;
    const std::string path = root / "input.txt";
    clsTextFile first;
    first.OpenTextFileForWrite(path, false);
    first.WriteLine("one");
    // A second writer gets the platform's own sharing violation before it can empty the file.
    clsTextFile second;
    EXPECT_EQ(ERROR_SHARING_VIOLATION, ErrorNumber([&] { second.OpenTextFileForWrite(path, false); }));
    clsTextFile reader;
    reader.OpenTextFileForRead(path);
    EXPECT_EQ("one", reader.ReadLine());
    first.WriteLine("two");
    first.CloseTextFile();
    EXPECT_EQ("one\r\ntwo\r\n", ReadBytes(path));

    // Another program writing first keeps this one out, and the file as it was.
    const FileHandle other(
        CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr));
    ASSERT_TRUE(other.valid());
    EXPECT_EQ(ERROR_SHARING_VIOLATION, ErrorNumber([&] { first.OpenTextFileForWrite(path, false); }));
    EXPECT_EQ("one\r\ntwo\r\n", ReadBytes(path));
}

TEST(clsTextFileTest, ReopeningClosesTheFirstFileAndFreedNumbersAreReused) {
    ScratchFolder root;
    clsTextFile first;
    clsTextFile second;
    EXPECT_EQ(1, first.OpenTextFileForWrite(root / "a.txt", false));
    EXPECT_EQ(2, second.OpenTextFileForWrite(root / "b.txt", false));
    first.WriteLine("a");

    // Opening again closes a.txt first and takes the number that close freed.
    EXPECT_EQ(1, first.OpenTextFileForWrite(root / "c.txt", false));
    EXPECT_TRUE(NobodyHolds(root / "a.txt"));
    EXPECT_EQ("a\r\n", ReadBytes(root / "a.txt"));

    first.CloseTextFile();
    EXPECT_TRUE(NobodyHolds(root / "c.txt"));
    {
        clsTextFile third;
        EXPECT_EQ(1, third.OpenTextFileForWrite(root / "d.txt", false));
        EXPECT_EQ(3, first.OpenTextFileForRead(root / "a.txt"));
    }
    // Destroying an object closes its file and frees its number; other objects keep theirs.
    EXPECT_TRUE(NobodyHolds(root / "d.txt"));
    EXPECT_FALSE(NobodyHolds(root / "b.txt"));
    EXPECT_EQ(1, clsTextFile().OpenTextFileForRead(root / "a.txt"));
}

TEST(clsTextFileTest, TableExhaustionFailsCleanlyAndLeavesTheObjectUsable) {
    ScratchFolder root;
    const std::string path = root / "shared.txt";
    WriteBytes(path, "x\r\n");
    std::vector<std::unique_ptr<clsTextFile>> holders;
    for (long number = 1; number <= kMaxTextFiles; ++number) {
        holders.push_back(std::make_unique<clsTextFile>());
        ASSERT_EQ(number, holders.back()->OpenTextFileForRead(path));
    }

    clsTextFile late;
    EXPECT_EQ(error_number::kTooManyFiles, ErrorNumber([&] { late.OpenTextFileForWrite(root / "late.txt", false); }));
    EXPECT_EQ(0, late.FileNumber());
    EXPECT_FALSE(PathExists(root / "late.txt"));
    EXPECT_EQ(0, ErrorNumber([&] { late.WriteLine("nowhere"); }));

    // A holder reopening while the table is full gets its own number back.
    EXPECT_EQ(7, holders[6]->OpenTextFileForRead(path));

    holders[99].reset();
    EXPECT_EQ(100, late.OpenTextFileForWrite(root / "late.txt", false));
    late.WriteLine("made it");
    late.CloseTextFile();
    EXPECT_EQ("made it\r\n", ReadBytes(root / "late.txt"));
}

}  // namespace
}  // namespace orlenta
