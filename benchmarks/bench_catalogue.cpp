// Catalogue lookup: GetMessage on catalogues of 100, 10,000 and 100,000 rows against the same lookups
// on 100 rows, five runs each, the two sides alternating. The catalogue has the shape the README
// recommends, index included. Usage: bench_catalogue SCRATCH_FOLDER
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "BenchSupport.h"
#include "messages/clsMessageRecordset.h"
#include "util/modFileExists.h"

namespace {

using orlenta::bench::NowMs;

constexpr int kRuns = 5;
// Enough lookups for a steady figure, without letting a catalogue that scans its table take minutes.
constexpr int kMinLookups = 50;
constexpr int kMaxLookups = 2000;
constexpr double kEnoughMs = 200;

std::string KeyOf(int row) {
    char key[32];
    std::snprintf(key, sizeof key, "Message%06d", row);
    return key;
}

void Execute(sqlite3* db, const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s\n", sql, message != nullptr ? message : "?");
        sqlite3_free(message);
        std::exit(1);
    }
}

std::string MakeCatalogue(const std::string& folder, int rows) {
    const std::string path = folder + "\\catalogue-" + std::to_string(rows) + ".mdb";
    DeleteFileA(path.c_str());
    orlenta::SqliteDatabase db;
    if (sqlite3_open_v2(path.c_str(), db.put(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "cannot create %s\n", path.c_str());
        std::exit(1);
    }
    Execute(db.get(), "CREATE TABLE KavroMsg (NAME TEXT, Message TEXT, Message_en TEXT, Message_de TEXT)");
    Execute(db.get(), "BEGIN");
    orlenta::SqliteStatement insert;
    sqlite3_prepare_v2(db.get(), "INSERT INTO KavroMsg (NAME, Message_en, Message_de) VALUES (?, ?, ?)", -1,
                       insert.put(), nullptr);
    for (int row = 0; row < rows; ++row) {
        const std::string key = KeyOf(row);
        const std::string english = "The text of " + key;
        const std::string german = "Der Text von " + key;
        sqlite3_bind_text(insert.get(), 1, key.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert.get(), 2, english.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert.get(), 3, german.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_step(insert.get());
        sqlite3_reset(insert.get());
    }
    Execute(db.get(), "COMMIT");
    Execute(db.get(), "CREATE INDEX KavroMsgName ON KavroMsg(NAME COLLATE NOCASE)");
    return path;
}

// Microseconds per lookup: keys spread over the whole table, every one found.
double TimeLookups(const std::string& path, int rows) {
    orlenta::MessageCatalogueHost host;
    host.databasePath = path;
    host.userLocale = [] { return static_cast<LCID>(0x0409); };
    host.messageBox = [](const std::string&, const std::string&) {};
    orlenta::clsMessageRecordset catalogue(host);
    const double start = NowMs();
    int i = 0;
    for (; i < kMaxLookups && (i < kMinLookups || NowMs() - start < kEnoughMs); ++i) {
        const int row = static_cast<int>((static_cast<long long>(i) * 7919) % rows);
        if (catalogue.GetMessage(KeyOf(row)).empty()) {
            std::fprintf(stderr, "no text for %s\n", KeyOf(row).c_str());
            std::exit(1);
        }
    }
    return (NowMs() - start) * 1000.0 / i;
}

// The same lookups as bare queries that compare the key without regard to case, the comparison the
// recommended index is built for, on a connection opened as the catalogue opens its own.
double TimeNoCaseQueries(const std::string& path, int rows) {
    const orlenta::SqliteDatabase db = orlenta::OpenCatalogueReadOnly(path);
    const double start = NowMs();
    int i = 0;
    for (; i < kMaxLookups && (i < kMinLookups || NowMs() - start < kEnoughMs); ++i) {
        const std::string key = KeyOf(static_cast<int>((static_cast<long long>(i) * 7919) % rows));
        orlenta::SqliteStatement query;
        sqlite3_prepare_v2(db.get(), "SELECT Message_en FROM KavroMsg WHERE NAME=? COLLATE NOCASE", -1, query.put(),
                           nullptr);
        sqlite3_bind_text(query.get(), 1, key.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(query.get()) != SQLITE_ROW) {
            std::fprintf(stderr, "no row for %s\n", key.c_str());
            std::exit(1);
        }
    }
    return (NowMs() - start) * 1000.0 / i;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_catalogue SCRATCH_FOLDER\n");
        return 2;
    }
    const std::string folder = orlenta::RemoveTrailingBackslash(argv[1]);
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string reference = MakeCatalogue(folder, 100);
    const struct {
        int rows;
        const char* label;
    } sizes[] = {{100, "100 rows"}, {10000, "10,000 rows"}, {100000, "100,000 rows"}};
    for (const auto& [rows, size] : sizes) {
        const std::string path = rows == 100 ? reference : MakeCatalogue(folder, rows);
        std::vector<double> ours;
        std::vector<double> base;
        TimeLookups(path, rows);  // the file into the cache before the first timed run
        for (int run = 0; run < kRuns; ++run) {
            base.push_back(TimeLookups(reference, 100));
            ours.push_back(TimeLookups(path, rows));
        }
        orlenta::bench::PrintRow("Catalogue lookup (GetMessage)", size, "us/lookup", orlenta::bench::Summarise(ours),
                                 orlenta::bench::Summarise(base), "<= 1.5");
        if (rows == 100000) {
            ours.clear();
            base.clear();
            for (int run = 0; run < kRuns; ++run) {
                base.push_back(TimeNoCaseQueries(reference, 100));
                ours.push_back(TimeNoCaseQueries(path, rows));
            }
            orlenta::bench::PrintRow("Catalogue query alone, NAME=? COLLATE NOCASE", size, "us/lookup",
                                     orlenta::bench::Summarise(ours), orlenta::bench::Summarise(base),
                                     "(information)");
        }
    }
    return 0;
}
