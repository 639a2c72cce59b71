// The start-up sequence: defaults, current directory, and the command line applied on top.
#include <windows.h>

#include <gtest/gtest.h>

#include "frontend/InstallationFolder.h"
#include "frontend/StartUp.h"
#include "frontend/UnattendedStop.h"
#include "support/TestSupport.h"
#include "util/AppPaths.h"

namespace orlenta {
namespace {

std::string CurrentDirectory() {
    char buffer[MAX_PATH + 1] = {};
    GetCurrentDirectoryA(MAX_PATH, buffer);
    return buffer;
}

// The sequence changes the process's current directory; each test puts it back.
class StartUpTest : public ::testing::Test {
protected:
    test::CurrentDirectoryGuard currentDirectory_;
};

TEST_F(StartUpTest, DefaultsFollowTheProgramFolder) {
    struct Case {
        const char* folder;
        const char* aveFolder;
    };
    const Case cases[] = {
        {"D:\\Tools\\Run", "D:\\Tools\\Run\\AVES"},
        {"C:\\", "C:\\AVES"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        const RunSettings settings = DefaultRunSettings(c.folder, "E:\\Kavro");
        EXPECT_EQ(c.aveFolder, settings.AVEFolder);
        EXPECT_EQ("E:\\Kavro", settings.InstallationFolder);
        EXPECT_EQ("C:\\Test", settings.TestingFolder);
        EXPECT_EQ("1", settings.StartIndex);
        EXPECT_EQ("213", settings.StopIndex);
        EXPECT_EQ((std::array<bool, 5>{true, true, true, true, true}), settings.AVEFilter);
    }
}

TEST_F(StartUpTest, EmptyCommandLineKeepsDefaultsAndMovesToTheProgramFolder) {
    SetCurrentDirectoryA("C:\\");
    RunSettings settings;
    settings.TestingFolder = "left over";

    EXPECT_FALSE(RunStartUpSequence(settings, ""));

    EXPECT_EQ(ApplicationFolder() + "\\AVES", settings.AVEFolder);
    EXPECT_EQ(FindInstallationFolder(), settings.InstallationFolder);
    EXPECT_EQ("C:\\Test", settings.TestingFolder);
    EXPECT_EQ("213", settings.StopIndex);
    EXPECT_EQ(0, _stricmp(ApplicationFolder().c_str(), CurrentDirectory().c_str()));
}

TEST_F(StartUpTest, CommandLineOverridesDefaultsAndAsksForTheRun) {
    RunSettings settings;
    EXPECT_TRUE(RunStartUpSequence(settings, "-AUTOSTART -KAVRO=E:\\Kavro -START=5 -TESTING=\"D:\\Test Runs\""));
    EXPECT_EQ("E:\\Kavro", settings.InstallationFolder);
    EXPECT_EQ("5", settings.StartIndex);
    EXPECT_EQ("213", settings.StopIndex);
    EXPECT_EQ("D:\\Test Runs", settings.TestingFolder);
    EXPECT_EQ(ApplicationFolder() + "\\AVES", settings.AVEFolder);
}

}  // namespace
}  // namespace orlenta

namespace orlenta {
namespace {

// A console close cannot be raised under Wine; the handler is driven directly. The system ends the
// process when the handler returns, so it must hold on until the run's records are final.
TEST(UnattendedConsoleTest, ConsoleCloseStopsTheRunAndWaitsForItsRecords) {
    const HANDLE handler = CreateThread(
        nullptr, 0, [](void*) -> DWORD { return HoldUntilRecordsFinal(CTRL_CLOSE_EVENT) ? 1 : 0; }, nullptr, 0,
        nullptr);
    ASSERT_NE(nullptr, handler);
    const ULONGLONG deadline = GetTickCount64() + 2000;
    while (!UnattendedStopRequested() && GetTickCount64() < deadline) {
        WaitForSingleObject(handler, 10);
    }
    EXPECT_TRUE(UnattendedStopRequested());
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(handler, 0)) << "returned before the records";
    UnattendedRecordsFinal(2);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(handler, 2000));
    DWORD recordsFinal = 0;
    GetExitCodeThread(handler, &recordsFinal);
    EXPECT_EQ(1u, recordsFinal);
    CloseHandle(handler);
}

}  // namespace
}  // namespace orlenta
