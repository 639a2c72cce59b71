// Tests of the message catalogue against catalogues made here through SQLite itself.
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include <sqlite3.h>

#include <gtest/gtest.h>

#include "messages/SqliteSupport.h"
#include "messages/clsMessageRecordset.h"
#include "messages/modGeneral.h"
#include "support/TestSupport.h"
#include "util/AppPaths.h"
#include "util/Text.h"

namespace orlenta {
namespace {

constexpr LCID kGerman = 0x0407;
constexpr LCID kFrench = 0x040C;
constexpr LCID kEnglish = 0x0409;
constexpr LCID kUnknownLocale = 0x7FFF;  // no such locale: GetLocaleInfoA gives nothing

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
    std::string Path() const { return folder_ / "KavroDB.mdb"; }

    MessageCatalogueHost Host(LCID locale = kEnglish) {
        MessageCatalogueHost host;
        host.databasePath = Path();
        host.userLocale = [locale] { return locale; };
        host.messageBox = [this](const std::string& text, const std::string& caption) {
            boxes_.push_back({text, caption});
        };
        return host;
    }

    test::ScratchFolder folder_;
    std::vector<Box> boxes_;
};

TEST_F(CatalogueTest, ChoosesTheColumnForTheUsersLanguage) {
    struct Case {
        const char* name;
        const char* columns;  // text columns of the table, NAME comes first
        LCID locale;
        const char* expected;
    };
    // Each column holds its own spelling, so the result names the column that was read.
    const Case cases[] = {
        {"German user reads German", R"("Message_de", "Message_en")", kGerman, "Message_de"},
        {"French user falls back to English", R"("Message_de", "Message_en")", kFrench, "Message_en"},
        {"unknown locale falls back to English", R"("Message_de", "Message_en")", kUnknownLocale, "Message_en"},
        {"German before English whatever the order", R"("Message_en", "Message_de")", kGerman, "Message_de"},
        {"language column before the base column", R"("Message", "Message_de")", kGerman, "Message_de"},
        {"English before the base column", R"("Message", "Message_en")", kFrench, "Message_en"},
        {"base column only, German user", R"("Message")", kGerman, "Message"},
        {"base column only, French user", R"("Message")", kFrench, "Message"},
        {"other columns are passed over", R"("Note", "Message_fr_old", "Message")", kFrench, "Message"},
        {"stored name in other case", R"("MESSAGE_DE", "Message_en")", kGerman, "MESSAGE_DE"},
        {"stored name with outer spaces", R"("  Message_de ", "Message_en")", kGerman, "  Message_de "},
        {"base name in other case with spaces", R"(" message  ")", kGerman, " message  "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScratchFolder folder;
        const std::string path = folder / "KavroDB.mdb";
        std::string columns = c.columns;
        std::string values;
        // Fill every column with its own name, taken from the quoted list.
        for (size_t start = columns.find('"'); start != std::string::npos;) {
            const size_t end = columns.find('"', start + 1);
            values += (values.empty() ? "'" : ", '") + columns.substr(start + 1, end - start - 1) + "'";
            start = columns.find('"', end + 1);
        }
        RunSql(path, "CREATE TABLE KavroMsg (NAME TEXT, " + columns + ");"
                     "INSERT INTO KavroMsg VALUES ('Key', " + values + ");");
        MessageCatalogueHost host = Host(c.locale);
        host.databasePath = path;
        clsMessageRecordset catalogue(host);
        // Surrounding spaces of a stored name come back trimmed like any text.
        EXPECT_EQ(catalogue.GetMessage("Key"), TrimSpaces(c.expected));
        EXPECT_TRUE(boxes_.empty());
    }
}

TEST_F(CatalogueTest, ReadsExactlyOneRecordOfTheChosenColumn) {
    RunSql(Path(), R"(CREATE TABLE KavroMsg (Message_en TEXT, NAME TEXT);
        INSERT INTO KavroMsg VALUES ('  Padded text  ', 'Padded');
        INSERT INTO KavroMsg VALUES (char(9) || 'Tab stays ', 'Tab');
        INSERT INTO KavroMsg VALUES (NULL, 'Null');
        INSERT INTO KavroMsg VALUES ('   ', 'Blank');
        INSERT INTO KavroMsg VALUES ('First', 'Twice');
        INSERT INTO KavroMsg VALUES ('Second', 'Twice');
        INSERT INTO KavroMsg VALUES ('It''s found', 'It''s');
        INSERT INTO KavroMsg VALUES ('Quoted', 'say "hi"');
        INSERT INTO KavroMsg VALUES (42, 'Number');
        INSERT INTO KavroMsg VALUES ('Case matters', 'Lower');)");
    struct Case {
        const char* key;
        const char* expected;
    };
    const Case cases[] = {
        {"Padded", "Padded text"},
        {"Tab", "\tTab stays"},
        {"Null", ""},
        {"Blank", ""},
        {"Twice", ""},
        {"It's", "It's found"},
        {"say \"hi\"", "Quoted"},
        {"Number", "42"},
        {"Missing", ""},
        {"LOWER", ""},
        {"", ""},
        {"x' OR '1'='1", ""},
        {"Null' OR NAME='Padded", ""},
    };
    clsMessageRecordset catalogue(Host());
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("key <") + c.key + ">");
        EXPECT_EQ(catalogue.GetMessage(c.key), c.expected);
    }
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(CatalogueTest, TextsCrossBetweenUtf8AndTheAnsiCodePage) {
    // Catalogue authors write UTF-8 with the sqlite3 shell; the program's texts are ANSI (1252 here).
    ASSERT_EQ(GetACP(), 1252u);
    RunSql(Path(), "CREATE TABLE KavroMsg (NAME TEXT, Message_de TEXT);"
                   "INSERT INTO KavroMsg VALUES ('Gr\xC3\xBC\xC3\x9F" "e', 'Sch\xC3\xB6ne Gr\xC3\xBC\xC3\x9F" "e');");
    clsMessageRecordset catalogue(Host(kGerman));
    EXPECT_EQ(catalogue.GetMessage("Gr\xFC\xDF" "e"), "Sch\xF6ne Gr\xFC\xDF" "e");
}

TEST_F(CatalogueTest, WithoutATextColumnEveryLookupShowsTheBoxThenFails) {
    RunSql(Path(), "CREATE TABLE KavroMsg (NAME TEXT, Text_en TEXT, Messages TEXT);"
                   "INSERT INTO KavroMsg VALUES ('Key', 'a', 'b');");
    clsMessageRecordset catalogue(Host(kGerman));
    const Box missing{"Missing field in KAVRO database.", "KavroScript"};
    for (int lookup = 1; lookup <= 2; ++lookup) {
        SCOPED_TRACE("lookup " + std::to_string(lookup));
        try {
            catalogue.GetMessage("Key");
            ADD_FAILURE() << "no error";
        } catch (const AppError& e) {
            EXPECT_EQ(e.Number(), SQLITE_ERROR);
            EXPECT_NE(e.Description().find("no such column"), std::string::npos) << e.Description();
        }
        EXPECT_EQ(boxes_, std::vector<Box>(static_cast<size_t>(lookup), missing));
    }
}

TEST_F(CatalogueTest, CreationFailsWithTheEnginesError) {
    struct Case {
        const char* name;
        const char* sql;  // nullptr: no file at all
        long number;
        const char* description;
    };
    const Case cases[] = {
        {"missing file", nullptr, SQLITE_CANTOPEN, "unable to open database file"},
        {"missing table", "CREATE TABLE Other (NAME TEXT, Message TEXT);", SQLITE_ERROR, "no such table: KavroMsg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScratchFolder folder;
        MessageCatalogueHost host = Host();
        host.databasePath = folder / "KavroDB.mdb";
        if (c.sql != nullptr) {
            RunSql(host.databasePath, c.sql);
        }
        try {
            clsMessageRecordset catalogue(host);
            ADD_FAILURE() << "created";
        } catch (const AppError& e) {
            EXPECT_EQ(e.Number(), c.number);
            EXPECT_EQ(e.Description(), c.description);
            EXPECT_EQ(e.Source(), ProgramName());
        }
        // Read-only: a failed opening leaves no file behind.
        EXPECT_EQ(test::PathExists(host.databasePath), c.sql != nullptr);
    }
}

TEST_F(CatalogueTest, EveryLookupSeesTheCurrentFile) {
    RunSql(Path(), "CREATE TABLE KavroMsg (NAME TEXT, Message_en TEXT);"
                   "INSERT INTO KavroMsg VALUES ('Old', 'Old text');");
    clsMessageRecordset catalogue(Host());
    EXPECT_EQ(catalogue.GetMessage("New"), "");
    // The open catalogue must not keep the authors out of the file.
    RunSql(Path(), "INSERT INTO KavroMsg VALUES ('New', 'New text');"
                   "UPDATE KavroMsg SET Message_en = 'Changed' WHERE NAME = 'Old';");
    EXPECT_EQ(catalogue.GetMessage("New"), "New text");
    EXPECT_EQ(catalogue.GetMessage("Old"), "Changed");
}

TEST_F(CatalogueTest, AcheckGivesOutTheColumnListItself) {
    RunSql(Path(), "CREATE TABLE KavroMsg (Message_en TEXT, NAME TEXT, \" Message \" TEXT);");
    clsMessageRecordset catalogue(Host());
    const TableColumns& columns = catalogue.Acheck();
    EXPECT_EQ(&columns, &catalogue.Acheck());
    ASSERT_EQ(columns.Count(), 3);
    EXPECT_EQ(columns.Name(0), "Message_en");
    EXPECT_EQ(columns.Name(1), "NAME");
    EXPECT_EQ(columns.Name(2), " Message ");
}

TEST_F(CatalogueTest, ShowMessageShowsTheTextOrSaysItIsMissing) {
    RunSql(Path(), "CREATE TABLE KavroMsg (NAME TEXT, Message_en TEXT);"
                   "INSERT INTO KavroMsg VALUES ('Hello', ' Hello, operator ');"
                   "INSERT INTO KavroMsg VALUES ('Null', NULL);");
    struct Case {
        const char* key;
        Box expected;
    };
    const Case cases[] = {
        {"Hello", {"Hello, operator", "Title"}},
        {"Null", {"Could not find message: Null, in the mesage database.", "KavroScript"}},
        {"Absent", {"Could not find message: Absent, in the mesage database.", "KavroScript"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        boxes_.clear();
        ShowMessage(c.key, "Title", Host());
        EXPECT_EQ(boxes_, std::vector<Box>{c.expected});
    }
}

TEST_F(CatalogueTest, ShowMessageLetsTheErrorPassWithoutABox) {
    EXPECT_THROW(ShowMessage("Hello", "Title", Host()), AppError);
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

// Registered a second time in CMake with Wine's locale set to German (LC_ALL) and ORLENTA_EXPECT_LANGUAGE=de:
// the platform's own GetUserDefaultLCID and GetLocaleInfoA choose the column.
TEST(DefaultCatalogue, GermanUserUnderWine) {
    const char* expected = std::getenv("ORLENTA_EXPECT_LANGUAGE");
    if (expected == nullptr || std::string(expected) != "de") {
        GTEST_SKIP() << "runs in its own ctest entry with a German locale";
    }
    test::ScratchFolder folder;
    MessageCatalogueHost host = DefaultCatalogueHost();
    host.databasePath = folder / "KavroDB.mdb";
    RunSql(host.databasePath, "CREATE TABLE KavroMsg (NAME TEXT, Message_en TEXT, Message_de TEXT);"
                              "INSERT INTO KavroMsg VALUES ('Greeting', 'Good day', 'Guten Tag');");
    clsMessageRecordset catalogue(host);
    EXPECT_EQ(catalogue.GetMessage("Greeting"), "Guten Tag");
}

}  // namespace
}  // namespace orlenta
