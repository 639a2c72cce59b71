// SQLite's handles, statement helpers, the engine's errors, and text conversions at its boundary.
#include "database/SqliteSupport.h"

#include <sqlite3.h>

#include <windows.h>

#include "util/AppPaths.h"
#include "util/Text.h"

namespace orlenta {

void SqliteDatabaseTraits::close(sqlite3* db) noexcept { sqlite3_close(db); }

void SqliteStatementTraits::close(sqlite3_stmt* statement) noexcept { sqlite3_finalize(statement); }

AppError SqliteError(sqlite3* db) {
    // A failed open may leave no connection at all; SQLite then can only say that it ran out of memory.
    if (db == nullptr) {
        return AppError(SQLITE_NOMEM, ProgramName(), sqlite3_errstr(SQLITE_NOMEM));
    }
    return AppError(sqlite3_errcode(db), ProgramName(), sqlite3_errmsg(db));
}

SqliteStatement Prepare(sqlite3* db, const std::string& sql) {
    SqliteStatement statement;
    if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), statement.put(), nullptr) != SQLITE_OK) {
        throw SqliteError(db);
    }
    return statement;
}

void Execute(sqlite3* db, const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        throw SqliteError(db);
    }
}

namespace {

void Bound(sqlite3_stmt* statement, int rc) {
    if (rc != SQLITE_OK) {
        throw SqliteError(sqlite3_db_handle(statement));
    }
}

}  // namespace

void BindInteger(sqlite3_stmt* statement, int position, std::optional<std::int64_t> value) {
    Bound(statement, value ? sqlite3_bind_int64(statement, position, *value) : sqlite3_bind_null(statement, position));
}

void BindReal(sqlite3_stmt* statement, int position, double value) {
    Bound(statement, sqlite3_bind_double(statement, position, value));
}

void BindText(sqlite3_stmt* statement, int position, const std::string& utf8) {
    Bound(statement, sqlite3_bind_text(statement, position, utf8.data(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT));
}

std::optional<std::int64_t> ColumnInteger(sqlite3_stmt* statement, int column) {
    if (sqlite3_column_type(statement, column) == SQLITE_NULL) {
        return std::nullopt;
    }
    return sqlite3_column_int64(statement, column);
}

double ColumnReal(sqlite3_stmt* statement, int column) { return sqlite3_column_double(statement, column); }

std::string ColumnText(sqlite3_stmt* statement, int column) {
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return bytes == nullptr ? std::string()
                            : std::string(bytes, static_cast<size_t>(sqlite3_column_bytes(statement, column)));
}

bool StepRow(sqlite3_stmt* statement) {
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_ROW) {
        return true;
    }
    if (rc != SQLITE_DONE) {
        throw SqliteError(sqlite3_db_handle(statement));
    }
    return false;
}

SqliteDatabase OpenCatalogueReadOnly(const std::string& path) {
    SqliteDatabase db;
    if (sqlite3_open_v2(path.c_str(), db.put(), SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        throw SqliteError(db.get());
    }
    // Every lookup is a read transaction of its own. Read through file calls, a large catalogue's pages
    // cost a platform round trip each (under Wine a lookup at 100,000 rows took 1.5 times one at 100);
    // mapped, lookups stay flat in the table's size. Writers are not kept out: SQLite leaves a mapped
    // file at its size when another connection shrinks it. Without mapping the pragma is a no-op.
    sqlite3_exec(db.get(), "PRAGMA mmap_size=67108864", nullptr, nullptr, nullptr);
    return db;
}

std::string Utf8ToAnsi(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    return WideToAnsi(Utf8ToWide(text));
}

}  // namespace orlenta
