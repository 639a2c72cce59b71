// SQLite for every subsystem that keeps a database: owners for its connection and statement handles,
// statement helpers, the engine's errors, and its UTF-8 texts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "util/AppError.h"
#include "util/Handles.h"

struct sqlite3;
struct sqlite3_stmt;

namespace orlenta {

struct SqliteDatabaseTraits {
    using value_type = sqlite3*;
    static sqlite3* empty() noexcept { return nullptr; }
    static void close(sqlite3* db) noexcept;
};

struct SqliteStatementTraits {
    using value_type = sqlite3_stmt*;
    static sqlite3_stmt* empty() noexcept { return nullptr; }
    static void close(sqlite3_stmt* statement) noexcept;
};

using SqliteDatabase = UniqueResource<SqliteDatabaseTraits>;
using SqliteStatement = UniqueResource<SqliteStatementTraits>;

// The connection's last error as the system's error: SQLite's result code and its own text.
AppError SqliteError(sqlite3* db);

// A prepared statement, or the engine's error.
SqliteStatement Prepare(sqlite3* db, const std::string& sql);
// Runs statements that return no rows ("BEGIN", a schema); throws the engine's error.
void Execute(sqlite3* db, const char* sql);

// Binding by position (from 1) and reading by column (from 0); texts are UTF-8 as stored. An empty
// optional binds NULL, and a NULL reads as empty.
void BindInteger(sqlite3_stmt* statement, int position, std::optional<std::int64_t> value);
void BindReal(sqlite3_stmt* statement, int position, double value);
void BindText(sqlite3_stmt* statement, int position, const std::string& utf8);
std::optional<std::int64_t> ColumnInteger(sqlite3_stmt* statement, int column);
double ColumnReal(sqlite3_stmt* statement, int column);
std::string ColumnText(sqlite3_stmt* statement, int column);
// Steps a statement once: true for a row, false when it is done; throws the engine's error.
bool StepRow(sqlite3_stmt* statement);

// A catalogue file (its path in UTF-8) opened read-only, its pages read through a memory mapping;
// throws the engine's error.
SqliteDatabase OpenCatalogueReadOnly(const std::string& path);

// SQLite keeps text in UTF-8; the catalogue's texts are in the ANSI code page, as its callers take
// them. Characters the code page lacks become its default character.
std::string Utf8ToAnsi(std::string_view text);

}  // namespace orlenta
