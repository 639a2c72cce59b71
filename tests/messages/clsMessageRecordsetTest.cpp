// Tests of the message catalogue against catalogues made here through SQLite itself.
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <sqlite3.h>

#include <gtest/gtest.h>

#include "database/SqliteSupport.h"
#include "util/Text.h"
#include "messages/clsMessageRecordset.h"
#include "messages/modGeneral.h"
#include "support/TestSupport.h"
#include "util/AppPaths.h"

namespace orlenta {
namespace {

constexpr LCID kGerman = 0x0407;
constexpr LCID kFrench = 0x040C;
constexpr LCID kEnglish = 0x0409;
constexpr LCID kNoSuchLocale = 0x7FFF;  // GetLocaleInfoA gives nothing for it

struct Box {
    std::string text;
    std::string caption;
    bool operator==(const Box&) const = default;
};

// Runs SQL on a catalogue file, creating it when needed, through a read-write connection of its own.
void RunSql(const std::string& path, const std::string& sql) {
    SqliteDatabase db;
    ASSERT_EQ(sqlite3_open_v2(AnsiToUtf8(path).c_str(), db.put(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                              nullptr),
              SQLITE_OK);
    char* error = nullptr;
    const int rc = sqlite3_exec(db.get(), sql.c_str(), nullptr, nullptr, &error);
    const std::string text = error != nullptr ? error : "";
    sqlite3_free(error);
    ASSERT_EQ(rc, SQLITE_OK) << text << "\n" << sql;
}

class CatalogueTest : public ::testing::Test {
protected:
    // A host on a scratch catalogue, with a chosen user locale and a recorder for the boxes.
    MessageCatalogueHost Host(LCID locale = kEnglish) {
        return {folder_ / "KavroDB.mdb", [locale] { return locale; },
                [this](const std::string& text, const std::string& caption) { boxes_.push_back({text, caption}); }};
    }
    void Make(const std::string& sql) { RunSql(folder_ / "KavroDB.mdb", sql); }

    test::ScratchFolder folder_;
    std::vector<Box> boxes_;
};

TEST_F(CatalogueTest, ChoosesTheColumnForTheUsersLanguage) {
    struct Case {
        const char* name;
        const char* columns;  // after NAME
        const char* values;   // after 'Key'
        LCID locale;
        const char* expected;
    };
    const Case cases[] = {
        {"German user reads German", R"("Message_de", "Message_en")", "'de', 'en'", kGerman, "de"},
        {"French user falls back to English", R"("Message_de", "Message_en")", "'de', 'en'", kFrench, "en"},
        {"unknown locale falls back to English", R"("Message_de", "Message_en")", "'de', 'en'", kNoSuchLocale, "en"},
        {"column order is free", R"("Message", "Message_en", "Message_de")", "'-', 'en', 'de'", kGerman, "de"},
        {"English before the base column", R"("Message", "Message_en")", "'-', 'en'", kFrench, "en"},
        {"base column only, German user", R"("Message")", "'-'", kGerman, "-"},
        {"base column only, French user", R"("Note", "Message_fr_x", "Message")", "'n', 'x', '-'", kFrench, "-"},
        {"stored name in other case", R"("MESSAGE_DE", "Message_en")", "'de', 'en'", kGerman, "de"},
        {"stored name with outer spaces", R"("  Message_de ", "Message_en")", "'de', 'en'", kGerman, "de"},
        {"base name in other case and spaces", R"(" message  ")", "'-'", kGerman, "-"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScratchFolder folder;
        MessageCatalogueHost host = Host(c.locale);
        host.databasePath = folder / "KavroDB.mdb";
        RunSql(host.databasePath, std::string("CREATE TABLE KavroMsg (NAME, ") + c.columns + ");" +
                                      "INSERT INTO KavroMsg VALUES ('Key', " + c.values + ");");
        EXPECT_EQ(clsMessageRecordset(host).GetMessage("Key"), c.expected);
    }
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(CatalogueTest, ReadsExactlyOneRecordOfTheChosenColumn) {
    Make(R"(CREATE TABLE KavroMsg (Message_en, NAME);
        INSERT INTO KavroMsg VALUES ('  Padded text  ', 'Padded'), (char(9) || 'Tab stays ', 'Tab'),
            (NULL, 'Null'), ('First', 'Twice'), ('Second', 'Twice'), ('It''s found', 'It''s'), (42, 'Number'),
            ('Hi there', 'Hello'), ('One', 'Key'), ('Two', 'KEY'), (5.0, 'Real'), (-2.5, 'Half'), (1e20, 'Huge'),
            ('5.0', 'Written');)");
    const std::pair<const char*, const char*> cases[] = {
        {"Padded", "Padded text"},  {"Tab", "\tTab stays"}, {"Null", ""},
        {"Twice", ""},              {"It's", "It's found"}, {"Number", "42"},
        {"Missing", ""},            {"x' OR '1'='1", ""},   {"Null' OR NAME='Padded", ""},
        {"hello", "Hi there"},      {"HELLO", "Hi there"},  {"key", ""},
        {"Real", "5"},              {"half", "-2.5"},       {"Huge", "1E+20"},
        {"Written", "5.0"},
    };
    clsMessageRecordset catalogue(Host());
    for (const auto& [key, expected] : cases) {
        SCOPED_TRACE(std::string("key <") + key + ">");
        EXPECT_EQ(catalogue.GetMessage(key), expected);
    }
}

TEST_F(CatalogueTest, TextsCrossBetweenUtf8AndTheAnsiCodePage) {
    // Authors write UTF-8 with the sqlite3 shell; the program's texts are in the ANSI code page.
    ASSERT_EQ(GetACP(), 1252u);
    Make("CREATE TABLE KavroMsg (NAME, Message_de);"
         "INSERT INTO KavroMsg VALUES ('Gr\xC3\xBC\xC3\x9F" "e', 'Sch\xC3\xB6n');");
    EXPECT_EQ(clsMessageRecordset(Host(kGerman)).GetMessage("Gr\xFC\xDF" "e"), "Sch\xF6n");
}

TEST_F(CatalogueTest, WithoutATextColumnEveryLookupShowsTheBoxThenFails) {
    Make("CREATE TABLE KavroMsg (NAME, Text_en, Messages); INSERT INTO KavroMsg VALUES ('Key', 'a', 'b');");
    clsMessageRecordset catalogue(Host(kGerman));
    for (size_t lookup = 1; lookup <= 2; ++lookup) {
        SCOPED_TRACE("lookup " + std::to_string(lookup));
        try {
            catalogue.GetMessage("Key");
            ADD_FAILURE() << "no error";
        } catch (const AppError& e) {
            EXPECT_EQ(e.Number(), SQLITE_ERROR);
            EXPECT_NE(e.Description().find("no such column"), std::string::npos) << e.Description();
        }
        EXPECT_EQ(boxes_, std::vector<Box>(lookup, {"Missing field in KAVRO database.", "KavroScript"}));
    }
}

// A file of the old engine begins like this; the rest of its first page is noise here.
std::string OldEngineFile(const char* format) {
    std::string bytes = std::string("\0\1\0\0", 4) + format + std::string(1, '\0');
    std::mt19937 noise(7);
    while (bytes.size() < 4096) bytes += static_cast<char>(noise() & 0xFF);
    return bytes;
}

TEST_F(CatalogueTest, CreationFailsWithTheEnginesError) {
    struct Case {
        const char* name;
        const char* sql;  // nullptr: the file holds `bytes`, or there is no file when they are empty
        std::string bytes;
        long number;
        const char* description;  // a part of it: an old catalogue's message begins with its path
    };
    const std::string random = OldEngineFile("Not a database!").substr(19);
    const Case cases[] = {
        {"missing file", nullptr, "", SQLITE_CANTOPEN, "unable to open database file"},
        {"missing table", "CREATE TABLE Other (NAME, Message);", "", SQLITE_ERROR, "no such table: KavroMsg"},
        {"Jet database", nullptr, OldEngineFile("Standard Jet DB"), SQLITE_NOTADB,
         "KavroDB.mdb is a catalogue in the old engine's format (a Jet or ACE database)"},
        {"ACE database", nullptr, OldEngineFile("Standard ACE DB"), SQLITE_NOTADB, "mdb-export"},
        {"random bytes", nullptr, random, SQLITE_NOTADB, "file is not a database"},
        {"format name out of place", nullptr, "Standard Jet DB" + random, SQLITE_NOTADB, "file is not a database"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScratchFolder folder;
        MessageCatalogueHost host = Host();
        host.databasePath = folder / "KavroDB.mdb";
        if (c.sql != nullptr) {
            RunSql(host.databasePath, c.sql);
        } else if (!c.bytes.empty()) {
            test::WriteBytes(host.databasePath, c.bytes);
        }
        try {
            clsMessageRecordset catalogue(host);
            ADD_FAILURE() << "created";
        } catch (const AppError& e) {
            EXPECT_EQ(e.Number(), c.number);
            EXPECT_NE(e.Description().find(c.description), std::string::npos) << e.Description();
            EXPECT_EQ(e.Source(), ProgramName());
        }
        // Read-only: a failed opening leaves no file behind and the file it found as it was.
        EXPECT_EQ(test::PathExists(host.databasePath), c.sql != nullptr || !c.bytes.empty());
        if (!c.bytes.empty()) {
            EXPECT_EQ(test::ReadBytes(host.databasePath), c.bytes);
        }
    }
}

TEST_F(CatalogueTest, EveryLookupSeesTheCurrentFile) {
    Make("CREATE TABLE KavroMsg (NAME, Message_en); INSERT INTO KavroMsg VALUES ('Old', 'Old text');");
    clsMessageRecordset catalogue(Host());
    EXPECT_EQ(catalogue.GetMessage("New"), "");
    // The open catalogue must not keep the authors out of the file either.
    Make("INSERT INTO KavroMsg VALUES ('New', 'New text');"
         "UPDATE KavroMsg SET Message_en = 'Changed' WHERE NAME = 'Old';");
    EXPECT_EQ(catalogue.GetMessage("New"), "New text");
    EXPECT_EQ(catalogue.GetMessage("Old"), "Changed");
    // Nor while its reads have the file mapped: a writer may grow it and shrink it again.
    Make("INSERT INTO KavroMsg VALUES ('Bulk', zeroblob(1000000));");
    EXPECT_EQ(catalogue.GetMessage("Old"), "Changed");
    Make("DELETE FROM KavroMsg WHERE NAME = 'Bulk'; UPDATE KavroMsg SET Message_en = 'Again' WHERE NAME = 'Old';"
         "VACUUM;");
    EXPECT_EQ(catalogue.GetMessage("Old"), "Again");
}

TEST_F(CatalogueTest, AcheckGivesOutTheColumnListItself) {
    Make(R"(CREATE TABLE KavroMsg (Message_en, NAME, " Message ");)");
    clsMessageRecordset catalogue(Host());
    const TableColumns& columns = catalogue.Acheck();
    EXPECT_EQ(&columns, &catalogue.Acheck());
    ASSERT_EQ(columns.Count(), 3);
    EXPECT_EQ(columns.Name(2), " Message ");
}

TEST_F(CatalogueTest, ShowMessageShowsTheTextOrSaysItIsMissing) {
    Make("CREATE TABLE KavroMsg (NAME, Message_en); INSERT INTO KavroMsg VALUES ('Hello', ' Hi '), ('Null', NULL);");
    const std::pair<const char*, Box> cases[] = {
        {"Hello", {"Hi", "Title"}},
        {"Null", {"Could not find message: Null, in the mesage database.", "KavroScript"}},
        {"Absent", {"Could not find message: Absent, in the mesage database.", "KavroScript"}},
    };
    for (const auto& [key, expected] : cases) {
        SCOPED_TRACE(key);
        boxes_.clear();
        ShowMessage(key, "Title", Host());
        EXPECT_EQ(boxes_, std::vector<Box>{expected});
    }
    // Without a catalogue the engine's error passes, and no box is shown.
    boxes_.clear();
    MessageCatalogueHost nowhere = Host();
    nowhere.databasePath = folder_ / "None.mdb";
    EXPECT_THROW(ShowMessage("Hello", "Title", nowhere), AppError);
    EXPECT_TRUE(boxes_.empty());
}

TEST(DefaultCatalogue, LivesBesideTheProgram) {
    EXPECT_EQ(DefaultCatalogueHost().databasePath, ApplicationFolder() + "\\KavroDB.mdb");
    // The build folder holds no catalogue, so the default creation must fail on that very path.
    try {
        clsMessageRecordset catalogue;
        ADD_FAILURE() << "created";
    } catch (const AppError& e) {
        EXPECT_EQ(e.Number(), SQLITE_CANTOPEN);
    }
}

// Run a second time by its own ctest entry, with Wine's locale set to German (LC_ALL) and
// ORLENTA_EXPECT_LANGUAGE=de: the platform's GetUserDefaultLCID and GetLocaleInfoA choose the column.
TEST(DefaultCatalogue, GermanUserUnderWine) {
    const char* expected = std::getenv("ORLENTA_EXPECT_LANGUAGE");
    if (expected == nullptr || std::string(expected) != "de") {
        GTEST_SKIP() << "runs in its own ctest entry with a German locale";
    }
    test::ScratchFolder folder;
    MessageCatalogueHost host = DefaultCatalogueHost();
    host.databasePath = folder / "KavroDB.mdb";
    RunSql(host.databasePath, "CREATE TABLE KavroMsg (NAME, Message_en, Message_de);"
                              "INSERT INTO KavroMsg VALUES ('Greeting', 'Good day', 'Guten Tag');");
    EXPECT_EQ(clsMessageRecordset(host).GetMessage("Greeting"), "Guten Tag");
}

}  // namespace
}  // namespace orlenta
