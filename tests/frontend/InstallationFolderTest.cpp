// Installation folder discovery: the type-library registration, long paths and parent folders.
#include "frontend/InstallationFolder.h"

#include <optional>
#include <string>

#include <windows.h>

#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "util/Handles.h"
#include "util/Text.h"

namespace orlenta {
namespace {

using test::ScratchFolder;
using test::WriteBytes;

constexpr const char* kFallback = "C:\\Program Files\\KAVRO";

std::string ShortPath(const std::string& path) {
    char buffer[MAX_PATH + 1] = {};
    const DWORD length = GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
    EXPECT_GT(length, 0u) << path;
    return std::string(buffer, length);
}

TEST(ParentFolder, CutsAtTheLastBackslashOrKeepsTheLastColon) {
    struct Case {
        const char* path;
        const char* parent;
    };
    const Case cases[] = {
        {"C:\\Program Files\\Kavro\\Bin\\TypeLibrary.tlb", "C:\\Program Files\\Kavro\\Bin"},
        {"C:\\Types.tlb", "C:"},
        {"C:", "C:"},
        {"C:\\Folder\\", "C:\\Folder"},
        {"\\", ""},
        {"a\\b:c", "a\\b:"},
        {"TypeLibrary.tlb", ""},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(GetParentFolder(c.path), c.parent);
    }
}

class LongPath : public testing::Test {
protected:
    LongPath() {
        test::MakeFolder(scratch_ / "Kavro Program Files\\Bin Folder");
        WriteBytes(file_, "tlb");
    }

    ScratchFolder scratch_;
    std::string folder_ = scratch_ / "Kavro Program Files\\Bin Folder";
    std::string file_ = folder_ + "\\TypeLibrary.tlb";
};

TEST_F(LongPath, GivesTheStoredNamesOrNothing) {
    const std::string shortFile = ShortPath(file_);
    ASSERT_NE(shortFile, file_) << "the test needs a path whose short form differs";
    struct Case {
        const char* name;
        std::string path;
        std::string longPath;
    };
    const Case cases[] = {
        {"short form", shortFile, file_},
        {"long form", file_, file_},
        {"folder", ShortPath(folder_), folder_},
        {"other case keeps the drive letter's", ToLowerText(file_), ToLowerText(file_.substr(0, 1)) + file_.substr(1)},
        {"missing file", folder_ + "\\Missing.tlb", ""},
        {"missing folder on the way", scratch_ / "Gone\\Bin Folder\\TypeLibrary.tlb", ""},
        {"wildcard component", scratch_ / "Kavro*\\Bin Folder\\TypeLibrary.tlb", ""},
        {"wildcard file name", folder_ + "\\TypeLibrary.t?b", ""},
        {"drive only", "C:", "C:"},
        {"empty path", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(GetLongPath(c.path), c.longPath);
    }
}

// The product's registration under HKEY_CLASSES_ROOT, put back as it was afterwards.
class InstallationFolder : public testing::Test {
protected:
    static constexpr const char* kLevels[] = {
        "TypeLib\\{66C20C07-9934-11D3-8A0E-00105AA3D05E}",
        "TypeLib\\{66C20C07-9934-11D3-8A0E-00105AA3D05E}\\1.0",
        "TypeLib\\{66C20C07-9934-11D3-8A0E-00105AA3D05E}\\1.0\\0",
        "TypeLib\\{66C20C07-9934-11D3-8A0E-00105AA3D05E}\\1.0\\0\\win32",
    };
    static constexpr const char* kKey = kLevels[3];

    InstallationFolder() {
        for (const char* level : kLevels) {
            RegKey key;
            if (RegOpenKeyExA(HKEY_CLASSES_ROOT, level, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) {
                firstCreated_ = level;
                break;
            }
        }
        if (firstCreated_.empty()) {
            saved_ = ReadDefault();
        }
        Unregister();
    }

    ~InstallationFolder() override {
        if (!firstCreated_.empty()) {
            RegDeleteTreeA(HKEY_CLASSES_ROOT, firstCreated_.c_str());
        } else if (saved_) {
            Register(saved_->first, saved_->second);
        } else {
            Unregister();
        }
    }

    static std::optional<std::pair<DWORD, std::string>> ReadDefault() {
        RegKey key;
        DWORD type = 0;
        DWORD size = 0;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS ||
            RegQueryValueExA(key.get(), "", nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        std::string data(size, '\0');
        RegQueryValueExA(key.get(), "", nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
        return std::make_pair(type, data);
    }

    static void Register(DWORD type, const std::string& data) {
        RegKey key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key.get(), "", 0, type, reinterpret_cast<const BYTE*>(data.data()),
                                 static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
    }
    static void Register(const std::string& text) { Register(REG_SZ, text + std::string(1, '\0')); }

    static void Unregister() {
        RegKey key;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kKey, 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS) {
            RegDeleteValueA(key.get(), "");
        }
    }

    std::string firstCreated_;
    std::optional<std::pair<DWORD, std::string>> saved_;
};

TEST_F(InstallationFolder, WithoutARegistrationIsTheFallbackFolder) {
    EXPECT_EQ(FindInstallationFolder(), kFallback);
}

TEST_F(InstallationFolder, ReadsAsMissingWhatIsMarkedOrStoredAsMinusOne) {
    Register("-1");
    EXPECT_EQ(FindInstallationFolder(), kFallback);
    const std::int32_t minusOne = -1;
    Register(REG_DWORD, std::string(reinterpret_cast<const char*>(&minusOne), sizeof minusOne));
    EXPECT_EQ(FindInstallationFolder(), kFallback);
}

TEST_F(InstallationFolder, IsTheLongFormOfTheRegisteredFilesFolder) {
    ScratchFolder scratch;
    const std::string folder = scratch / "Kavro Program Files\\Bin";
    test::MakeFolder(folder);
    WriteBytes(folder + "\\TypeLibrary.tlb", "tlb");
    struct Case {
        const char* name;
        std::string registered;
        std::string folder;
    };
    const Case cases[] = {
        {"short form", ShortPath(folder + "\\TypeLibrary.tlb"), folder},
        {"other case keeps the drive letter's", ToLowerText(folder + "\\TypeLibrary.tlb"),
         ToLowerText(folder.substr(0, 1)) + folder.substr(1)},
        {"deleted file", folder + "\\Deleted.tlb", ""},
        {"empty value", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Register(c.registered);
        EXPECT_EQ(FindInstallationFolder(), c.folder);
    }
}

TEST_F(InstallationFolder, OfATypeLibraryInADriveRootIsTheDrive) {
    const std::string file = "C:\\OrlentaTypes" + std::to_string(GetCurrentProcessId()) + ".tlb";
    WriteBytes(file, "tlb");
    Register(file);
    const std::string found = FindInstallationFolder();
    DeleteFileA(file.c_str());
    EXPECT_EQ(found, "C:");
}

}  // namespace
}  // namespace orlenta
