// Owners for SQLite's handles, the engine's errors, and text conversions at its boundary.
#include "messages/SqliteSupport.h"

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
    return AppError(sqlite3_errcode(db), ProgramName(), Utf8ToAnsi(sqlite3_errmsg(db)));
}

std::string AnsiToUtf8(std::string_view text) { return ToUtf8(text); }

std::string Utf8ToAnsi(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return WideToAnsi(wide);
}

}  // namespace orlenta
