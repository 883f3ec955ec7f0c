#include "registry/sqlite/StoreDb.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

namespace wdx::registry {

namespace {
std::atomic<long long> GBusyTimeoutMs{5000};
std::atomic<bool> GReuse{true};
} // namespace

void SetBusyTimeout(std::chrono::milliseconds Timeout) {
    GBusyTimeoutMs = std::max<long long>(0, Timeout.count());
}
std::chrono::milliseconds BusyTimeout() {
    return std::chrono::milliseconds(GBusyTimeoutMs.load());
}
void SetConnectionReuse(bool On) {
    GReuse = On;
    if (!On)
        ReleaseCachedConnections();
}

namespace detail {

namespace {

// 'WDXR' in the file header tells our files from any other SQLite database.
constexpr int ApplicationId = 0x57445852;
constexpr int SchemaVersion = 1;

const char* const Schema = R"sql(
CREATE TABLE keys(
  id INTEGER PRIMARY KEY,
  parent INTEGER NOT NULL,
  fold TEXT NOT NULL,
  name TEXT NOT NULL,
  UNIQUE(parent, fold));
CREATE TABLE vals(
  key INTEGER NOT NULL,
  fold TEXT NOT NULL,
  name TEXT NOT NULL,
  type INTEGER NOT NULL,
  data,
  seq INTEGER NOT NULL,
  PRIMARY KEY(key, fold)) WITHOUT ROWID;
)sql";

// The sub-tree of ?1, the key itself included.
#define WDX_TREE                                                                                             \
    "WITH RECURSIVE t(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM keys k JOIN t ON k.parent = t.id) "

const char* const StmtSql[stCount] = {
    "BEGIN",
    "BEGIN IMMEDIATE",
    "COMMIT",
    "ROLLBACK",
    "SELECT id FROM keys WHERE parent = ?1 AND fold = ?2",
    "SELECT 1 FROM keys WHERE id = ?1",
    "INSERT INTO keys(parent, fold, name) VALUES(?1, ?2, ?3)",
    "SELECT name FROM keys WHERE parent = ?1 ORDER BY fold",
    "SELECT name, type, data FROM vals WHERE key = ?1 AND fold = ?2",
    "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY seq",
    "INSERT INTO vals(key, fold, name, type, data, seq) VALUES(?1, ?2, ?3, ?4, ?5, "
    "(SELECT ifnull(max(seq), 0) + 1 FROM vals WHERE key = ?1)) "
    "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data",
    "DELETE FROM vals WHERE key = ?1 AND fold = ?2",
    WDX_TREE "DELETE FROM vals WHERE key IN (SELECT id FROM t)",
    WDX_TREE "DELETE FROM keys WHERE id IN (SELECT id FROM t)",
    "PRAGMA data_version",
    // Values come in name order here (sorting by seq would cost a temporary b-tree).
    "SELECT k.id, k.name, v.name, v.type, v.data, v.seq FROM keys k LEFT JOIN vals v ON v.key = k.id "
    "WHERE k.parent = ?1 ORDER BY k.fold",
};

constexpr size_t MaxKept = 4;

// Waits for another process's lock in short steady steps: SQLite's own
// handler backs off to 100 ms sleeps, which lets a busy writer starve the
// others until they time out.
int BusyWait(void*, int Count) {
    constexpr int StepMs = 2;
    if (static_cast<long long>(Count) * StepMs >= GBusyTimeoutMs.load())
        return 0;
    usleep(StepMs * 1000);
    return 1;
}
thread_local std::vector<std::unique_ptr<TStoreDb>> TKept;

TAcquired Failed(TRegError Error, std::string Text) {
    TAcquired R;
    R.Error = Error;
    R.Text = std::move(Text);
    return R;
}

TAcquired FailedDb(sqlite3* Db, const std::string& Path, const char* What) {
    int Code = Db ? sqlite3_extended_errcode(Db) : SQLITE_NOMEM;
    return Failed(MapSqliteError(Code, Db ? sqlite3_system_errno(Db) : 0), DescribeFailure(Db, Path, What));
}

// Runs a statement that returns at most one integer.
int QueryInt(sqlite3* Db, const char* Sql, long long& Value) {
    sqlite3_stmt* S = nullptr;
    int Rc = sqlite3_prepare_v2(Db, Sql, -1, &S, nullptr);
    if (Rc != SQLITE_OK)
        return Rc;
    Rc = sqlite3_step(S);
    Value = Rc == SQLITE_ROW ? sqlite3_column_int64(S, 0) : 0;
    if (Rc == SQLITE_ROW || Rc == SQLITE_DONE)
        Rc = SQLITE_OK;
    sqlite3_finalize(S);
    return Rc;
}

int Exec(sqlite3* Db, const char* Sql) {
    return sqlite3_exec(Db, Sql, nullptr, nullptr, nullptr);
}

// The header fields and the number of schema objects, read from one state of
// the file. Read one by one, they could straddle another process's creation
// of the store (tables already there, header not yet written) and make a new
// file look foreign. Inside a write transaction the caller's lock suffices.
// False with Failure set when the file cannot be read.
bool ReadHeader(sqlite3* H, const std::string& Path, long long& AppId, long long& Version, long long& Objects,
                TAcquired& Failure) {
    const bool Own = sqlite3_get_autocommit(H) != 0;
    int Rc = Own ? Exec(H, "BEGIN") : SQLITE_OK;
    if (Rc == SQLITE_OK)
        Rc = QueryInt(H, "SELECT count(*) FROM sqlite_master", Objects); // takes the read lock
    if (Rc == SQLITE_OK)
        Rc = QueryInt(H, "PRAGMA application_id", AppId);
    if (Rc == SQLITE_OK)
        Rc = QueryInt(H, "PRAGMA user_version", Version);
    if (Rc == SQLITE_OK && Own)
        Rc = Exec(H, "COMMIT");
    if (Rc == SQLITE_OK)
        return true;
    Failure = FailedDb(H, Path, "cannot read the store file"); // before the rollback resets the message
    if (Own && !sqlite3_get_autocommit(H))
        Exec(H, "ROLLBACK");
    return false;
}

// Reads the header fields that tell whether this is one of our files.
// Result: SQLITE_OK with HasSchema set, or an error code; Text for Damaged.
TAcquired CheckFormat(std::unique_ptr<TStoreDb> Db) {
    sqlite3* H = Db->Db();
    long long AppId = 0, Version = 0, Objects = 0;
    TAcquired Failure;
    if (!ReadHeader(H, Db->Path(), AppId, Version, Objects, Failure))
        return Failure;
    if (AppId == ApplicationId && Version == SchemaVersion) {
        Db->HasSchema = true;
    } else if (AppId == ApplicationId) {
        return Failed(TRegError::Damaged, "store file format " + std::to_string(Version) +
                                              " is not supported (" + Db->Path() + ")");
    } else if (AppId != 0 || Objects != 0) {
        return Failed(TRegError::Damaged, "not a settings store file (" + Db->Path() + ")");
    }
    TAcquired R;
    R.Db = std::move(Db);
    return R;
}

// Gives an empty database the schema. Another process may do the same at the
// same moment; the write lock makes one of them win and the other see it.
TAcquired InitSchema(std::unique_ptr<TStoreDb> Db) {
    sqlite3* H = Db->Db();
    if (Exec(H, "BEGIN IMMEDIATE") != SQLITE_OK)
        return FailedDb(H, Db->Path(), "cannot lock the store file");
    long long AppId = 0, Version = 0, Objects = 0;
    TAcquired Failure;
    if (!ReadHeader(H, Db->Path(), AppId, Version, Objects, Failure)) {
        Exec(H, "ROLLBACK");
        return Failure;
    }
    int Rc = SQLITE_OK;
    if (AppId == 0 && Objects == 0) {
        Rc = Exec(H, Schema);
        if (Rc == SQLITE_OK)
            Rc = Exec(H, ("PRAGMA application_id=" + std::to_string(ApplicationId)).c_str());
        if (Rc == SQLITE_OK)
            Rc = Exec(H, ("PRAGMA user_version=" + std::to_string(SchemaVersion)).c_str());
    }
    if (Rc == SQLITE_OK)
        Rc = Exec(H, "COMMIT");
    if (Rc != SQLITE_OK) {
        TAcquired R = FailedDb(H, Db->Path(), "cannot create the store");
        Exec(H, "ROLLBACK");
        return R;
    }
    return CheckFormat(std::move(Db));
}

// A folder that is shared through its group (set-group-ID and writable by the
// group, as /var/lib/wdx is) gets store files its group may write, whatever
// the creator's umask: otherwise the first member to save would lock the
// other members out. SQLite gives the journal the file's permissions. Files
// anywhere else keep the umask's. Nothing here fails: when the file cannot be
// made, the open that follows says why.
void CreateStoreFile(const std::string& Path) {
    std::filesystem::path Dir = std::filesystem::path(Path).parent_path();
    struct stat D {};
    if (stat(Dir.empty() ? "." : Dir.c_str(), &D) != 0 || !(D.st_mode & S_ISGID) || !(D.st_mode & S_IWGRP))
        return;
    int Fd = open(Path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (Fd < 0)
        return; // there already (another process made it), or not allowed
    struct stat F {};
    if (fstat(Fd, &F) == 0)
        fchmod(Fd, (F.st_mode & 0777) | S_IRGRP | S_IWGRP);
    close(Fd);
}

TAcquired OpenNew(const std::string& Path, bool ForWrite, bool Create) {
    if (Create) {
        std::error_code Ec;
        std::filesystem::path Dir = std::filesystem::path(Path).parent_path();
        if (!Dir.empty())
            std::filesystem::create_directories(Dir, Ec);
        if (Ec) {
            bool Denied = Ec == std::errc::permission_denied || Ec == std::errc::read_only_file_system ||
                          Ec == std::errc::operation_not_permitted;
            return Failed(Denied ? TRegError::AccessDenied : TRegError::IoError,
                          "cannot create the folder " + Dir.string() + ": " + Ec.message());
        }
        CreateStoreFile(Path);
    }
    int Flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (Create ? SQLITE_OPEN_CREATE : 0);
    sqlite3* H = nullptr;
    int Rc = sqlite3_open_v2(Path.c_str(), &H, Flags, nullptr);
    auto Db = std::make_unique<TStoreDb>(H, Path);
    if (Rc != SQLITE_OK)
        return FailedDb(H, Path, "cannot open the store file");
    sqlite3_extended_result_codes(H, 1);
    sqlite3_busy_handler(H, BusyWait, nullptr);
    // A store file is data, never code: no schema-defined functions or views
    // with side effects, and no direct writes to the schema.
    sqlite3_db_config(H, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(H, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    // Durable when the commit returns: with a rollback journal that takes
    // syncing the folder too once the journal is gone.
    Exec(H, "PRAGMA synchronous=EXTRA");
    if (ForWrite && Db->ReadOnly())
        return Failed(TRegError::AccessDenied, "no right to write the store file (" + Path + ")");

    struct stat St {};
    if (stat(Path.c_str(), &St) == 0) {
        Db->Dev = St.st_dev;
        Db->Ino = St.st_ino;
    }
    Db->Pid = getpid();
    TAcquired R = CheckFormat(std::move(Db));
    if (R.Db && !R.Db->HasSchema && ForWrite)
        return InitSchema(std::move(R.Db));
    return R;
}

} // namespace

TStoreDb::~TStoreDb() {
    if (!FDb)
        return;
    for (sqlite3_stmt* S : FStmts)
        sqlite3_finalize(S);
    sqlite3_close_v2(FDb);
}

sqlite3_stmt* TStoreDb::Stmt(TStmtId Id) {
    if (!FStmts[Id] && sqlite3_prepare_v3(FDb, StmtSql[Id], -1, SQLITE_PREPARE_PERSISTENT, &FStmts[Id],
                                          nullptr) != SQLITE_OK)
        FStmts[Id] = nullptr;
    return FStmts[Id];
}

std::string DescribeFailure(sqlite3* Db, const std::string& Path, const char* What) {
    // A writer that died mid-write left its journal, and only a connection
    // that may write the file can roll it back; SQLite just says "attempt
    // to write a readonly database", which reads like a refused write.
    if (Db && sqlite3_extended_errcode(Db) == SQLITE_READONLY_ROLLBACK)
        return std::string(What) +
               ": the store needs recovery: a program was stopped in the middle of "
               "writing it, and only someone allowed to write the store file can undo "
               "that write (any use of the store by such a user does it) (" +
               Path + ")";
    return std::string(What) + ": " + (Db ? sqlite3_errmsg(Db) : "out of memory") + " (" + Path + ")";
}

TRegError MapSqliteError(int Code, int SysErrno) {
    switch (Code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return TRegError::Busy;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return TRegError::AccessDenied;
    case SQLITE_CANTOPEN:
        return SysErrno == EACCES || SysErrno == EPERM || SysErrno == EROFS ? TRegError::AccessDenied
                                                                            : TRegError::IoError;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
    case SQLITE_SCHEMA:
    case SQLITE_ERROR:
    case SQLITE_MISMATCH:
        return TRegError::Damaged;
    default:
        return TRegError::IoError;
    }
}

TAcquired AcquireDb(const std::string& Path, bool ForWrite) {
    struct stat St {};
    bool Exists = stat(Path.c_str(), &St) == 0;
    int StatErrno = errno;
    pid_t Pid = getpid();

    // Find a kept connection for this path; drop it when the file is no
    // longer the one it was opened on (deleted, replaced) or after a fork.
    std::unique_ptr<TStoreDb> Kept;
    for (auto It = TKept.begin(); It != TKept.end(); ++It) {
        if ((*It)->Path() != Path)
            continue;
        Kept = std::move(*It);
        TKept.erase(It);
        break;
    }
    if (Kept && Kept->Pid != Pid)
        Kept->Abandon();
    if (Kept && (!GReuse || Kept->Pid != Pid || !Exists || Kept->Dev != St.st_dev || Kept->Ino != St.st_ino ||
                 (ForWrite && Kept->ReadOnly())))
        Kept.reset();

    if (!Exists) {
        if (StatErrno != ENOENT && StatErrno != ENOTDIR)
            return Failed(StatErrno == EACCES ? TRegError::AccessDenied : TRegError::IoError,
                          "cannot reach the store file " + Path + ": " + std::strerror(StatErrno));
        if (!ForWrite) {
            TAcquired R;
            R.Missing = true;
            return R;
        }
        return OpenNew(Path, true, true);
    }
    if (!S_ISREG(St.st_mode))
        return Failed(TRegError::Damaged, "not a settings store file (" + Path + ")");
    if (Kept) {
        TAcquired R;
        if (ForWrite && !Kept->HasSchema)
            return InitSchema(std::move(Kept));
        R.Db = std::move(Kept);
        return R;
    }
    TAcquired R = OpenNew(Path, ForWrite, false);
    // Deleted between the look and the open: for reading that is a missing file.
    if (!R.Db && !ForWrite && stat(Path.c_str(), &St) != 0 && errno == ENOENT) {
        TAcquired M;
        M.Missing = true;
        return M;
    }
    return R;
}

void ReleaseDb(std::unique_ptr<TStoreDb> Db) {
    // An empty database may get its schema from another process at any
    // moment; such a connection is not worth keeping.
    if (!Db || !GReuse || !Db->HasSchema || Db->Pid != getpid() || !sqlite3_get_autocommit(Db->Db()))
        return;
    // One kept per path: a nested transaction's connection just closes.
    for (const auto& K : TKept)
        if (K->Path() == Db->Path())
            return;
    if (TKept.size() >= MaxKept)
        TKept.erase(TKept.begin());
    TKept.push_back(std::move(Db));
}

} // namespace detail

void ReleaseCachedConnections() {
    for (auto& K : detail::TKept)
        if (K->Pid != getpid())
            K->Abandon();
    detail::TKept.clear();
}

} // namespace wdx::registry
