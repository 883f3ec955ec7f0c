#pragma once
// Internal: one SQLite connection to one store file, its prepared statements,
// and the per-thread set of connections kept between transactions.

#include "registry/Registry.h"

#include <sqlite3.h>
#include <sys/types.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

namespace wdx::registry::detail {

enum TStmtId {
    stBegin,
    stBeginWrite,
    stCommit,
    stRollback,
    stFindKey,
    stKeyAlive,
    stInsertKey,
    stListKeys,
    stFindValue,
    stListValues,
    stWriteValue,
    stDeleteValue,
    stDeleteTreeValues,
    stDeleteTreeKeys,
    stDataVersion,
    stListKeysValues,
    stCount
};

class TStoreDb {
public:
    TStoreDb(sqlite3* Db, std::string Path) : FDb(Db), FPath(std::move(Path)) {}
    ~TStoreDb();
    TStoreDb(const TStoreDb&) = delete;
    TStoreDb& operator=(const TStoreDb&) = delete;

    sqlite3* Db() const { return FDb; }
    const std::string& Path() const { return FPath; }
    // Prepared on first use and kept with the connection; null when the
    // statement cannot be prepared (the message is in the connection).
    sqlite3_stmt* Stmt(TStmtId Id);
    bool ReadOnly() const { return sqlite3_db_readonly(FDb, "main") == 1; }
    // A connection that a forked child inherited must not be used or closed there.
    void Abandon() { FDb = nullptr; }

    bool HasSchema = false; // false: an empty database, which reads as an empty root
    // Ids of keys above the ones asked for ("SOFTWARE\\CORVANTA" ...), by folded
    // path, so that a read of one broker does not walk the whole path again.
    // Valid only while DataVersion is what the file reports (no other
    // connection has committed since) and no write ran on this connection.
    std::unordered_map<std::string, std::int64_t> KeyIds;
    std::int64_t DataVersion = -1;
    dev_t Dev = 0;
    ino_t Ino = 0;
    pid_t Pid = 0;

private:
    sqlite3* FDb;
    std::string FPath;
    std::array<sqlite3_stmt*, stCount> FStmts{};
};

// Resets a statement when the step is over, so that
// a kept connection never holds a read open by accident.
class TStmtRun {
public:
    explicit TStmtRun(sqlite3_stmt* Stmt) : FStmt(Stmt) {}
    ~TStmtRun() {
        if (FStmt)
            sqlite3_reset(FStmt);
    }
    TStmtRun(const TStmtRun&) = delete;
    TStmtRun& operator=(const TStmtRun&) = delete;
    sqlite3_stmt* operator*() const { return FStmt; }
    explicit operator bool() const { return FStmt != nullptr; }

private:
    sqlite3_stmt* FStmt;
};

struct TAcquired {
    std::unique_ptr<TStoreDb> Db; // null when Missing or on failure
    bool Missing = false;         // no file: reads as an empty root
    TRegError Error = TRegError::None;
    std::string Text;
};

// A connection for the file now at Path: a kept one when it still refers to
// that very file, else a newly opened one. For writing, a missing file (and
// its directory) is created and an empty database gets the schema.
TAcquired AcquireDb(const std::string& Path, bool ForWrite);
// Hands a connection back after its transaction ended cleanly.
void ReleaseDb(std::unique_ptr<TStoreDb> Db);

TRegError MapSqliteError(int Code, int SysErrno);
// "What: why (path)" for the connection's last failure.
std::string DescribeFailure(sqlite3* Db, const std::string& Path, const char* What);

} // namespace wdx::registry::detail
