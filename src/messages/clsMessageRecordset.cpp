// The message catalogue over SQLite: column choice by the user's language, one lookup per call.
#include "messages/clsMessageRecordset.h"

#include <array>
#include <charconv>
#include <string_view>
#include <system_error>

#include <sqlite3.h>

#include "util/AppPaths.h"
#include "util/Handles.h"
#include "util/Text.h"
#include "util/modFileExists.h"

namespace orlenta {

namespace {

constexpr LCTYPE kIsoLanguageName = 89;  // LOCALE_SISO639LANGNAME

// The old engine's databases (Jet, and its successor ACE) name their format at byte 4.
bool IsOldEngineFormat(const std::string& path) {
    const FileHandle file(CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;  // whatever keeps it from being read, SQLite reports in its own words
    }
    char header[19] = {};
    DWORD read = 0;
    if (!ReadFile(file.get(), header, sizeof header, &read, nullptr) || read != sizeof header) {
        return false;
    }
    const std::string_view format(header + 4, 15);
    return format == "Standard Jet DB" || format == "Standard ACE DB";
}

SqliteDatabase OpenCatalogue(const std::string& path) {
    // SQLite would only say "file is not a database": a site that kept its old catalogue needs the way out.
    if (IsOldEngineFormat(path)) {
        throw AppError(SQLITE_NOTADB, ProgramName(),
                       path + " is a catalogue in the old engine's format (a Jet or ACE database), which this "
                              "version cannot read. Convert it: export the table KavroMsg to a CSV file with the "
                              "old engine or with mdb-export (Debian's mdbtools), then import that file into a new "
                              "KavroDB.mdb with the sqlite3 shell, as the README shows.");
    }
    return OpenCatalogueReadOnly(path);
}

// Quoted as an identifier, so a column name can never be read as part of the query.
std::string QuoteIdentifier(const std::string& name) {
    std::string quoted = "\"";
    for (const char c : name) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

std::string Comparable(const std::string& name) { return TrimSpaces(ToLowerAnsiText(name)); }

// The table's own spelling of a chosen column: a stored name may differ from the candidate in case or
// outer spaces, and SQLite, unlike the names it matches, does not ignore outer spaces.
std::string StoredName(const std::string& candidate, const TableColumns& columns) {
    if (candidate.empty()) {
        return candidate;
    }
    for (int i = 0; i < columns.Count(); ++i) {
        const std::string name = columns.Name(i);
        if (Comparable(name) == Comparable(candidate)) {
            return name;
        }
    }
    return candidate;
}

// A stored number in its plain text form: 5.0 reads "5" and 2.5 "2.5", as callers written for the old
// engine expect; 15 significant digits, and an exponent only for very large or small numbers (1E+20).
std::string NumberText(double number) {
    if (number == 0) {
        return "0";  // negative zero too
    }
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, number, std::chars_format::general, 15);
    if (ec != std::errc()) {
        return std::to_string(number);
    }
    std::string text(buffer, end);
    for (char& c : text) {
        if (c == 'e') {
            c = 'E';
        }
    }
    return text;
}

// The first column of the query's current row as UTF-8 text.
std::string CellText(sqlite3_stmt* query) {
    if (sqlite3_column_type(query, 0) == SQLITE_FLOAT) {
        return NumberText(sqlite3_column_double(query, 0));
    }
    return ColumnText(query, 0);
}

}  // namespace

MessageCatalogueHost DefaultCatalogueHost() {
    MessageCatalogueHost host;
    host.databasePath = AddTrailingBackslash(ApplicationFolder()) + "KavroDB.mdb";
    host.userLocale = [] { return GetUserDefaultLCID(); };
    host.messageBox = [](const std::string& text, const std::string& caption) {
        MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK);
    };
    return host;
}

int TableColumns::Count() const { return sqlite3_column_count(statement_.get()); }

std::string TableColumns::Name(int index) const {
    const char* name = sqlite3_column_name(statement_.get(), index);
    return name == nullptr ? std::string() : Utf8ToAnsi(name);
}

clsMessageRecordset::clsMessageRecordset() : clsMessageRecordset(DefaultCatalogueHost()) {}

clsMessageRecordset::clsMessageRecordset(MessageCatalogueHost host)
    : host_(std::move(host)),
      database_(OpenCatalogue(host_.databasePath)),
      columns_(Prepare(database_.get(), "SELECT * FROM KavroMsg")) {}

std::string clsMessageRecordset::GetLocaleString(LCID lLocaleId, LCTYPE lLocaleType) {
    const int needed = GetLocaleInfoA(lLocaleId, lLocaleType, nullptr, 0);
    if (needed == 0) {
        return {};
    }
    std::string buffer(static_cast<size_t>(needed), ' ');
    const int written = GetLocaleInfoA(lLocaleId, lLocaleType, buffer.data(), needed);
    if (written == 0) {
        return {};
    }
    buffer.resize(static_cast<size_t>(written - 1));
    return buffer;
}

bool clsMessageRecordset::FieldExists(const std::string& sFieldName, const TableColumns& columns) {
    const std::string wanted = Comparable(sFieldName);
    for (int i = 0; i < columns.Count(); ++i) {
        if (Comparable(columns.Name(i)) == wanted) {
            return true;
        }
    }
    return false;
}

std::string clsMessageRecordset::GetLanguageField(const std::string& sBaseName, const TableColumns& columns) {
    const std::string language = GetLocaleString(host_.userLocale(), kIsoLanguageName);
    const std::array<std::string, 3> candidates = {
        sBaseName + "_" + ToLowerAnsiText(language),
        sBaseName + "_en",
        sBaseName,
    };
    for (const std::string& candidate : candidates) {
        if (FieldExists(candidate, columns)) {
            return candidate;
        }
    }
    host_.messageBox("Missing field in KAVRO database.", kApplicationTitle);
    return {};
}

std::string clsMessageRecordset::GetMessage(const std::string& sKey) {
    const std::string column = StoredName(GetLanguageField("Message", columns_), columns_);
    // With no column the query names an empty identifier, which the engine rejects with its own error.
    const SqliteStatement query =
        Prepare(database_.get(),
                "SELECT " + QuoteIdentifier(AnsiToUtf8(column)) + " FROM KavroMsg WHERE NAME=? COLLATE NOCASE");
    const std::string key = AnsiToUtf8(sKey);
    if (sqlite3_bind_text(query.get(), 1, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT) != SQLITE_OK) {
        throw SqliteError(database_.get());
    }

    // Keys compare as the old engine's text comparison did, without case for the ASCII letters, so
    // "hello" finds "Hello" and rows "Key" and "KEY" hold one key twice. Exactly one record gives a
    // message; none, or a key that several records hold, gives none.
    int rc = sqlite3_step(query.get());
    if (rc == SQLITE_DONE) {
        return {};
    }
    if (rc != SQLITE_ROW) {
        throw SqliteError(database_.get());
    }
    const bool isNull = sqlite3_column_type(query.get(), 0) == SQLITE_NULL;
    const std::string text = isNull ? std::string() : CellText(query.get());
    rc = sqlite3_step(query.get());
    if (rc == SQLITE_ROW) {
        return {};
    }
    if (rc != SQLITE_DONE) {
        throw SqliteError(database_.get());
    }
    return isNull ? std::string() : TrimSpaces(Utf8ToAnsi(text));
}

}  // namespace orlenta
