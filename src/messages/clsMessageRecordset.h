// The message catalogue: message texts by key from "KavroDB.mdb" beside the program, in the user's language.
#pragma once

#include <functional>
#include <string>
#include <utility>

#include <windows.h>

#include "database/SqliteSupport.h"
#include "util/AppPaths.h"

namespace orlenta {

// What the catalogue takes from its surroundings. The program uses DefaultCatalogueHost();
// tests put in a catalogue of their own, a chosen user locale and a recorder for the boxes.
struct MessageCatalogueHost {
    std::string databasePath;  // UTF-8
    std::function<LCID()> userLocale;
    // A modal box with the OK button only.
    std::function<void(const std::string& text, const std::string& caption)> messageBox;
};

// "<application folder>\KavroDB.mdb", GetUserDefaultLCID and MessageBoxA.
MessageCatalogueHost DefaultCatalogueHost();

// The table's column list, opened with the catalogue: a query on the whole table that is prepared and
// never run, so it names every column without holding a read lock on the file.
class TableColumns {
public:
    explicit TableColumns(SqliteStatement statement) noexcept : statement_(std::move(statement)) {}

    int Count() const;
    // The column's name as the table spells it, in the ANSI code page.
    std::string Name(int index) const;

private:
    SqliteStatement statement_;
};

class clsMessageRecordset {
public:
    // Opens the catalogue read-only and its table's column list; throws the engine's error if either fails.
    clsMessageRecordset();
    explicit clsMessageRecordset(MessageCatalogueHost host);
    ~clsMessageRecordset() = default;  // the column list closes before the database (member order)

    clsMessageRecordset(const clsMessageRecordset&) = delete;
    clsMessageRecordset& operator=(const clsMessageRecordset&) = delete;

    // The key's text in the user's language, trimmed of outer spaces; "" when the key has none.
    // <windows.h> renames GetMessage to GetMessageA; this header includes it, so every user agrees.
    std::string GetMessage(const std::string& sKey);

    // The column list opened at creation: the object itself, not a copy.
    const TableColumns& Acheck() const noexcept { return columns_; }

private:
    static bool FieldExists(const std::string& sFieldName, const TableColumns& columns);
    // The candidate column name as built, or "" (after the "Missing field" box) when none fits.
    std::string GetLanguageField(const std::string& sBaseName, const TableColumns& columns);
    static std::string GetLocaleString(LCID lLocaleId, LCTYPE lLocaleType);

    MessageCatalogueHost host_;
    SqliteDatabase database_;
    TableColumns columns_;
};

}  // namespace orlenta
