// Owners for SQLite's connection and statement handles, the engine's errors, and its UTF-8 texts.
#pragma once

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

// A catalogue file opened read-only, its pages read through a memory mapping; throws the engine's error.
SqliteDatabase OpenCatalogueReadOnly(const std::string& path);

// SQLite keeps text in UTF-8; the program's texts are in the ANSI code page.
std::string AnsiToUtf8(std::string_view text);
std::string Utf8ToAnsi(std::string_view text);

}  // namespace orlenta
