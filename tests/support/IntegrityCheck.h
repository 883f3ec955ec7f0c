#pragma once
// SQLite's own verdict on a store file ("ok" when sound), for the tests and
// benchmarks that write one from several processes. Opened for writing, so
// a journal left by a killed writer is rolled back first, as the next writer
// of the store would.

#include <sqlite3.h>

#include <string>

namespace wdx::testsupport {

inline std::string IntegrityCheck(const std::string& Path) {
    sqlite3* Db = nullptr;
    std::string Result = "cannot open";
    if (sqlite3_open_v2(Path.c_str(), &Db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_stmt* S = nullptr;
        if (sqlite3_prepare_v2(Db, "PRAGMA integrity_check", -1, &S, nullptr) == SQLITE_OK &&
            sqlite3_step(S) == SQLITE_ROW)
            Result = reinterpret_cast<const char*>(sqlite3_column_text(S, 0));
        sqlite3_finalize(S);
    }
    sqlite3_close(Db);
    return Result;
}

} // namespace wdx::testsupport
