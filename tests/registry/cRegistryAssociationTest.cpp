// cRegistry's file-type association: the layout under both roots, and the additional verbs' error record.
#include "registry/cRegistry.h"

#include <atomic>

#include <gtest/gtest.h>

#include "RegistryTestSupport.h"
#include "util/AppError.h"
#include "util/AppPaths.h"

namespace orlenta {
namespace {

using test::KeysWithDefaultValue;
using test::ReadRaw;

std::atomic<int> g_classCounter{0};

// Where an association key lies below each root. Under Wine the first lands in the second.
struct Root {
    const char* name;
    HKEY key;
    std::string prefix;
};
const Root kRoots[] = {{"classes root", HKEY_CLASSES_ROOT, ""},
                       {"local machine", HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\"}};

// A class name and an extension of this test alone, removed from both roots afterwards.
class AssociationTest : public testing::Test {
protected:
    AssociationTest() {
        const std::string unique = std::to_string(GetCurrentProcessId()) + "x" + std::to_string(++g_classCounter);
        className_ = "OrlentaTest.Doc" + unique;
        extension_ = "ot" + unique;
        RemoveKeys();
    }
    ~AssociationTest() override { RemoveKeys(); }

    void RemoveKeys() {
        for (const Root& root : kRoots) {
            test::RemoveKeyTree(root.key, root.prefix + className_);
            test::RemoveKeyTree(root.key, root.prefix + "." + extension_);
        }
    }

    // The unnamed value of a key below a root: type and text without its NUL.
    static std::optional<std::pair<DWORD, std::string>> Entry(const Root& root, const std::string& key) {
        auto stored = ReadRaw(root.key, root.prefix + key, "");
        if (!stored) {
            return std::nullopt;
        }
        if (!stored->Bytes.empty() && stored->Bytes.back() == '\0') {
            stored->Bytes.pop_back();
        }
        return std::make_pair(stored->Type, stored->Bytes);
    }

    // The entry's text, or a marker when the key or its value is missing.
    static std::string Text(const Root& root, const std::string& key) {
        const auto entry = Entry(root, key);
        return entry ? entry->second : "<missing>";
    }

    void Associate(cRegistry& registry, const std::string& exePath, bool print, bool isNew, bool install,
                   long iconIndex, const std::string& menuText = "") {
        registry.CreateEXEAssociation(exePath, className_, "Orlenta test document", extension_, menuText, print,
                                      menuText, isNew, menuText, install, menuText, iconIndex);
    }

    std::string className_;
    std::string extension_;
};

TEST_F(AssociationTest, WritesEveryEntryUnderBothRootsWithDefaultMenuTexts) {
    cRegistry registry;
    Associate(registry, "C:\\Tools\\app.exe", true, true, true, 2);
    const std::string p = "\"C:\\Tools\\app.exe\"";
    const std::pair<std::string, std::string> expected[] = {
        {"." + extension_, className_},
        {className_, "Orlenta test document"},
        {className_ + "\\shell\\open", "&Open"},
        {className_ + "\\shell\\open\\command", p + " \"%1\""},
        {className_ + "\\shell\\print", "&Print"},
        {className_ + "\\shell\\print\\command", p + " /p \"%1\""},
        {className_ + "\\shell\\add", "&Install " + extension_},
        {className_ + "\\shell\\add\\command", p + " /a \"%1\""},
        {className_ + "\\shell\\new", "&New"},
        {className_ + "\\shell\\new\\command", p + " /n \"%1\""},
        {className_ + "\\DefaultIcon", p + ",2"},
    };
    for (const Root& root : kRoots) {
        for (const auto& [key, text] : expected) {
            SCOPED_TRACE(std::string(root.name) + ": " + key);
            const auto entry = Entry(root, key);
            ASSERT_TRUE(entry);
            EXPECT_EQ(entry->first, static_cast<DWORD>(REG_SZ));
            EXPECT_EQ(entry->second, text);
        }
    }
    EXPECT_EQ(registry.ClassKey(), registry_root::kLocalMachine);
    EXPECT_EQ(registry.SectionKey(), className_ + "\\DefaultIcon");
    EXPECT_EQ(registry.ValueKey(), "");
    EXPECT_EQ(registry.ValueType(), static_cast<DWORD>(REG_SZ));
}

TEST_F(AssociationTest, WithAllFlagsOffWritesFourKeysUnderEachRoot) {
    cRegistry registry;
    Associate(registry, "C:\\Tools\\app.exe", false, false, false, -1);
    for (const Root& root : kRoots) {
        SCOPED_TRACE(root.name);
        EXPECT_EQ(KeysWithDefaultValue(root.key, root.prefix + className_),
                  (std::vector<std::string>{"", "shell\\open", "shell\\open\\command"}));
        EXPECT_TRUE(Entry(root, "." + extension_));
        EXPECT_FALSE(test::RawKeyExists(root.key, root.prefix + className_ + "\\DefaultIcon"));
    }
    EXPECT_EQ(registry.SectionKey(), className_ + "\\shell\\open\\command");
}

TEST_F(AssociationTest, QuotesTheProgramPathOnce) {
    struct Case {
        const char* name;
        std::string exePath;
        std::string command;
    };
    const Case cases[] = {
        {"plain path", "C:\\Tools\\app.exe", "\"C:\\Tools\\app.exe\" \"%1\""},
        {"surrounding spaces", "  C:\\Tools\\app.exe ", "\"C:\\Tools\\app.exe\" \"%1\""},
        {"already quoted", "\"C:\\Tools\\app.exe\"", "\"C:\\Tools\\app.exe\" \"%1\""},
        {"leading quote only", "\"C:\\Tools\\app.exe", "\"C:\\Tools\\app.exe\" \"%1\""},
        {"quote alone", "\"", "\" \"%1\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cRegistry registry;
        Associate(registry, c.exePath, false, false, false, 0);
        const auto command = Entry(kRoots[0], className_ + "\\shell\\open\\command");
        ASSERT_TRUE(command);
        EXPECT_EQ(command->second, c.command);
        const auto icon = Entry(kRoots[1], className_ + "\\DefaultIcon");
        ASSERT_TRUE(icon);
        EXPECT_EQ(icon->second, c.command.substr(0, c.command.size() - 5) + ",0");
    }
}

TEST_F(AssociationTest, EmptyClassNameOrProgramPathRaisesBeforeAnythingIsWritten) {
    // The unnamed value at the root of the classes tree, which an empty class name would overwrite.
    const auto rootDefault = [] {
        const auto stored = ReadRaw(HKEY_CLASSES_ROOT, "", "");
        return stored ? stored->Bytes : std::string("<missing>");
    };
    const std::string rootBefore = rootDefault();
    const std::pair<std::string, std::string> cases[] = {{"C:\\app.exe", ""}, {"", className_}, {"  ", className_}};
    for (const auto& [exePath, className] : cases) {
        SCOPED_TRACE("program <" + exePath + ">, class <" + className + ">");
        EXPECT_THROW(cRegistry().CreateEXEAssociation(exePath, className, "d", extension_, "", true, "", true, "",
                                                      true, "", 0),
                     AppError);
        for (const Root& root : kRoots) {
            EXPECT_FALSE(test::RawKeyExists(root.key, root.prefix + "." + extension_)) << root.name;
            EXPECT_FALSE(test::RawKeyExists(root.key, root.prefix + className_)) << root.name;
        }
        EXPECT_EQ(rootDefault(), rootBefore);
    }
    cRegistry registry;
    registry.ClassKey(registry_root::kClassesRoot);
    registry.CreateAdditionalEXEAssociations("", std::vector<RegistryValue>{"orlentaverb", "Text", "cmd"});
    EXPECT_EQ(registry.LastAssociationError().Number, error_number::kInvalidArgument);
    EXPECT_FALSE(test::RawKeyExists(HKEY_CLASSES_ROOT, "shell\\orlentaverb"));
}

TEST_F(AssociationTest, GivenMenuTextsAreWrittenAndPercentSignsMakeExpandableText) {
    cRegistry registry;
    Associate(registry, "C:\\Tools\\app.exe", true, true, true, -2, "Use %APPDATA% copy");
    for (const char* verb : {"open", "print", "add", "new"}) {
        SCOPED_TRACE(verb);
        const auto entry = Entry(kRoots[1], className_ + "\\shell\\" + verb);
        ASSERT_TRUE(entry);
        EXPECT_EQ(entry->first, static_cast<DWORD>(REG_EXPAND_SZ));
        EXPECT_EQ(entry->second, "Use %APPDATA% copy");
    }
    EXPECT_FALSE(test::RawKeyExists(HKEY_CLASSES_ROOT, className_ + "\\DefaultIcon"));
    EXPECT_EQ(registry.SectionKey(), className_ + "\\shell\\new\\command");
}

TEST_F(AssociationTest, AFailedWriteRaisesAndKeepsWhatWasWrittenBefore) {
    cRegistry registry;
    const std::string tooLong(300, 'c');  // a key name longer than the registry allows
    EXPECT_THROW(registry.CreateEXEAssociation("C:\\app.exe", className_ + "\\" + tooLong, "d", extension_, "", false,
                                               "", false, "", false, "", -1),
                 AppError);
    EXPECT_TRUE(Entry(kRoots[0], "." + extension_));
    EXPECT_EQ(registry.ClassKey(), registry_root::kClassesRoot);
}

TEST_F(AssociationTest, AdditionalVerbsAreWrittenInTriples) {
    cRegistry registry;
    Associate(registry, "C:\\Tools\\app.exe", false, false, false, -1);
    registry.ClassKey(registry_root::kClassesRoot);
    registry.CreateAdditionalEXEAssociations(
        className_, std::vector<RegistryValue>{"edit", "&Edit", "app.exe /e", "view", std::int32_t{5}, "app.exe /v"});
    EXPECT_EQ(registry.LastAssociationError().Number, 0);
    for (const Root& root : kRoots) {
        SCOPED_TRACE(root.name);
        EXPECT_EQ(KeysWithDefaultValue(root.key, root.prefix + className_),
                  (std::vector<std::string>{"", "shell\\edit", "shell\\edit\\command", "shell\\open",
                                            "shell\\open\\command", "shell\\view", "shell\\view\\command"}));
        EXPECT_EQ(Text(root, className_ + "\\shell\\view"), "5");
        EXPECT_EQ(Text(root, className_ + "\\shell\\edit\\command"), "app.exe /e");
    }
    EXPECT_EQ(registry.ClassKey(), registry_root::kLocalMachine);
    EXPECT_EQ(registry.SectionKey(), className_ + "\\shell\\view\\command");
}

TEST_F(AssociationTest, AdditionalVerbsLookForTheClassUnderTheRootLeftByTheLastWrite) {
    cRegistry registry;
    Associate(registry, "C:\\app.exe", false, false, false, -1);
    // The association leaves ClassKey at the local machine, where the class lies below SOFTWARE\Classes.
    registry.CreateAdditionalEXEAssociations(className_, std::vector<RegistryValue>{"a", "b", "c"});
    EXPECT_EQ(registry.LastAssociationError().Number, registry_error::kClassNotDefined);
    EXPECT_FALSE(test::RawKeyExists(HKEY_CLASSES_ROOT, className_ + "\\shell\\a"));
}

TEST_F(AssociationTest, AdditionalVerbsRecordTheirErrorsWithoutThrowing) {
    const std::string source = ProgramName() + ".cRegistry";
    const std::string badList =
        "Invalid parameter list passed to CreateAdditionalEXEAssociations - expected Name/Text/Command";
    const std::string noClass = "Error - attempt to create additional associations before class defined.";
    struct Case {
        const char* name;
        bool registerClass;
        std::optional<std::vector<RegistryValue>> items;
        long number;
        std::string description;
    };
    const Case cases[] = {
        {"four elements", true, std::vector<RegistryValue>{"a", "b", "c", "d"}, registry_error::kInvalidParameterList,
         badList},
        {"no list", true, std::nullopt, registry_error::kInvalidParameterList, badList},
        {"empty list", true, std::vector<RegistryValue>{}, 0, ""},
        {"empty verb name", true, std::vector<RegistryValue>{"", "&Text", "app.exe /t"}, error_number::kInvalidArgument,
         "Empty verb name passed to CreateAdditionalEXEAssociations"},
        {"class not registered", false, std::vector<RegistryValue>{"a", "b", "c"}, registry_error::kClassNotDefined,
         noClass},
        {"empty list, class not registered", false, std::vector<RegistryValue>{}, registry_error::kClassNotDefined,
         noClass},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RemoveKeys();
        cRegistry registry;
        if (c.registerClass) {
            Associate(registry, "C:\\app.exe", false, false, false, -1);
            registry.ClassKey(registry_root::kClassesRoot);
        } else {
            registry.ClassKey(registry_root::kLocalMachine);
        }
        registry.CreateAdditionalEXEAssociations("OrlentaWrongClass", {});  // leaves a record to clear
        registry.CreateAdditionalEXEAssociations(className_, c.items);
        const ErrorRecord& error = registry.LastAssociationError();
        EXPECT_EQ(error.Number, c.number);
        EXPECT_EQ(error.Source, c.number == 0 ? "" : source);
        EXPECT_EQ(error.Description, c.description);
        const auto expectedKeys = c.registerClass
                                      ? std::vector<std::string>{"", "shell\\open", "shell\\open\\command"}
                                      : std::vector<std::string>{};
        for (const Root& root : kRoots) {
            EXPECT_EQ(KeysWithDefaultValue(root.key, root.prefix + className_), expectedKeys) << root.name;
        }
    }
}

TEST_F(AssociationTest, AdditionalVerbsGoOnAfterAFailedTriple) {
    cRegistry registry;
    Associate(registry, "C:\\app.exe", false, false, false, -1);
    registry.ClassKey(registry_root::kClassesRoot);
    const std::string tooLong(300, 'v');  // a key name longer than the registry allows
    registry.CreateAdditionalEXEAssociations(
        className_, std::vector<RegistryValue>{tooLong, "Long", "long.exe", "bytes", ByteArray{0, {65}}, "b.exe",
                                               "last", "&Last", "last.exe"});
    EXPECT_EQ(Text(kRoots[1], className_ + "\\shell\\last\\command"), "last.exe");
    EXPECT_FALSE(test::RawKeyExists(HKEY_CLASSES_ROOT, className_ + "\\shell\\bytes"));
    const ErrorRecord& error = registry.LastAssociationError();
    EXPECT_EQ(error.Number, 13) << "the triple holding a byte array is passed over";

    registry.ClassKey(registry_root::kClassesRoot);
    registry.CreateAdditionalEXEAssociations(className_, std::vector<RegistryValue>{tooLong, "Long", "long.exe"});
    EXPECT_EQ(error.Number, 26001);
    EXPECT_EQ(error.Source, ProgramName() + ".cRegistry");
    EXPECT_EQ(error.Description, "Failed to set registry value Key: '-2147483648',Section: '" + className_ +
                                     "\\shell\\" + tooLong + "\\command',Key: '' to value: 'long.exe'");
}

}  // namespace
}  // namespace orlenta
