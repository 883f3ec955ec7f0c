// Files the store cannot use: damaged, foreign, locked by someone else, or
// not ours to write. Each must be a clean failure of the one operation.

#include "registry/Registry.h"
#include "support/TempStore.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

using namespace wdx::registry;
namespace fs = std::filesystem;

namespace {

std::string Slurp(const std::string& Path) {
    std::ifstream In(Path, std::ios::binary);
    std::stringstream S;
    S << In.rdbuf();
    return S.str();
}

void Spit(const std::string& Path, const std::string& Bytes) {
    std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
    Out << Bytes;
}

void RawExec(const std::string& Path, const char* Sql) {
    sqlite3* Db = nullptr;
    ASSERT_EQ(sqlite3_open(Path.c_str(), &Db), SQLITE_OK);
    char* Msg = nullptr;
    EXPECT_EQ(sqlite3_exec(Db, Sql, nullptr, nullptr, &Msg), SQLITE_OK) << (Msg ? Msg : "");
    sqlite3_free(Msg);
    sqlite3_close(Db);
}

// Every kind of operation fails on the file with Expected and leaves it as it was.
void ExpectUnusable(const std::string& Path, TRegError Expected) {
    std::string Before = Slurp(Path);
    std::string Text;
    std::vector<std::string> Names;
    TRegError Err = TRegError::None;
    EXPECT_FALSE(ReadText(TRegRoot::User, "K", "V", Text, &Err));
    EXPECT_EQ(Err, Expected) << ErrorName(Err);
    EXPECT_FALSE(ListSubKeys(TRegRoot::User, "", Names, &Err));
    EXPECT_EQ(Err, Expected) << ErrorName(Err);
    EXPECT_FALSE(WriteText(TRegRoot::User, "K", "V", "x", &Err));
    EXPECT_EQ(Err, Expected) << ErrorName(Err);
    EXPECT_FALSE(DeleteKey(TRegRoot::User, "K", &Err));
    EXPECT_EQ(Err, Expected) << ErrorName(Err);
    // Damage inside the tables shows when they are read, not when the file opens.
    TRegTransaction Tx(TRegRoot::User, TRegAccess::Read);
    TRegKey Key;
    EXPECT_FALSE(Tx.Ok() && Tx.OpenKey("K", Key));
    EXPECT_EQ(Tx.Error(), Expected);
    EXPECT_NE(Tx.ErrorText().find(Path), std::string::npos) << Tx.ErrorText();
    EXPECT_EQ(Slurp(Path), Before);
}

class StoreFailureTest : public ::testing::Test {
protected:
    wdx::testsupport::TTempStore Store;
};

} // namespace

TEST_F(StoreFailureTest, FileThatIsNotADatabase) {
    Spit(Store.UserPath(), std::string(4096, 'x') + "no database here");
    ExpectUnusable(Store.UserPath(), TRegError::Damaged);
}

TEST_F(StoreFailureTest, DatabaseOfSomeoneElse) {
    RawExec(Store.UserPath(), "CREATE TABLE notes(x); INSERT INTO notes VALUES(1);");
    ExpectUnusable(Store.UserPath(), TRegError::Damaged);
}

TEST_F(StoreFailureTest, StoreOfAnUnknownFormatVersion) {
    ASSERT_TRUE(WriteText(TRegRoot::User, "K", "V", "1"));
    ReleaseCachedConnections();
    RawExec(Store.UserPath(), "PRAGMA user_version=2");
    ExpectUnusable(Store.UserPath(), TRegError::Damaged);
}

TEST_F(StoreFailureTest, FolderWhereTheFileShouldBe) {
    fs::create_directory(Store.UserPath());
    std::string Text;
    TRegError Err = TRegError::None;
    EXPECT_FALSE(ReadText(TRegRoot::User, "K", "V", Text, &Err));
    EXPECT_EQ(Err, TRegError::Damaged);
    EXPECT_FALSE(WriteText(TRegRoot::User, "K", "V", "x", &Err));
    EXPECT_EQ(Err, TRegError::Damaged);
}

TEST_F(StoreFailureTest, CorruptHeaderAndCorruptTablePage) {
    ASSERT_TRUE(WriteText(TRegRoot::User, "K", "V", "1"));
    ReleaseCachedConnections();
    std::string Good = Slurp(Store.UserPath());

    std::string Bad = Good;
    Bad.replace(0, 16, "Not SQLite here!");
    Spit(Store.UserPath(), Bad);
    ExpectUnusable(Store.UserPath(), TRegError::Damaged);

    // Zero every page after the first: the tables and their indexes no
    // longer parse, while the header still says all is well.
    Spit(Store.UserPath(), Good);
    Bad = Good;
    const size_t PageSize = 4096;
    ASSERT_GT(Bad.size(), PageSize);
    Bad.replace(PageSize, Bad.size() - PageSize, std::string(Bad.size() - PageSize, '\0'));
    Spit(Store.UserPath(), Bad);
    ExpectUnusable(Store.UserPath(), TRegError::Damaged);
}

TEST_F(StoreFailureTest, LockedTooLongIsBusyWithinTheTimeOut) {
    ASSERT_TRUE(WriteText(TRegRoot::User, "K", "V", "before"));
    sqlite3* Holder = nullptr;
    ASSERT_EQ(sqlite3_open(Store.UserPath().c_str(), &Holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(Holder, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);

    SetBusyTimeout(std::chrono::milliseconds(300));
    auto Start = std::chrono::steady_clock::now();
    TRegError Err = TRegError::None;
    EXPECT_FALSE(WriteText(TRegRoot::User, "K", "V", "during", &Err));
    auto Waited = std::chrono::steady_clock::now() - Start;
    EXPECT_EQ(Err, TRegError::Busy);
    EXPECT_GE(Waited, std::chrono::milliseconds(250));
    EXPECT_LT(Waited, std::chrono::seconds(4));
    // Readers are not held up by a writer.
    std::string Text;
    EXPECT_TRUE(ReadText(TRegRoot::User, "K", "V", Text));
    EXPECT_EQ(Text, "before");

    // A writer that lets go within the time-out is waited for.
    SetBusyTimeout(std::chrono::seconds(5));
    std::thread Release([Holder] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        sqlite3_exec(Holder, "COMMIT", nullptr, nullptr, nullptr);
    });
    EXPECT_TRUE(WriteText(TRegRoot::User, "K", "V", "after", &Err)) << ErrorName(Err);
    Release.join();
    sqlite3_close(Holder);
    ASSERT_TRUE(ReadText(TRegRoot::User, "K", "V", Text));
    EXPECT_EQ(Text, "after");
}

namespace {

// Runs Body in a child process without the right to write the test files:
// as user "nobody" when we are root (root ignores permission bits), else as
// ourselves with the files made read-only. Returns Body's result.
int RunWithoutWriteRights(const std::string& Dir, const std::function<int()>& Body) {
    bool Root = geteuid() == 0;
    if (!Root)
        chmod(Dir.c_str(), 0555);
    pid_t Pid = fork();
    if (Pid == 0) {
        if (Root && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(90);
        if (access(Dir.c_str(), X_OK) != 0)
            _exit(91);
        _exit(Body());
    }
    int Status = 0;
    for (int I = 0; I < 200 && waitpid(Pid, &Status, WNOHANG) == 0; ++I)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (waitpid(Pid, &Status, WNOHANG) == 0) {
        kill(Pid, SIGKILL);
        waitpid(Pid, &Status, 0);
        return 99;
    }
    chmod(Dir.c_str(), 0755);
    return WIFEXITED(Status) ? WEXITSTATUS(Status) : 98;
}

int ReadButNotWrite() {
    std::string Text;
    std::vector<std::string> Names;
    if (!ReadText(TRegRoot::System, "SOFTWARE\\P", "ClientDir", Text) || Text != "/opt/c")
        return 1;
    if (!ListSubKeys(TRegRoot::System, "SOFTWARE", Names) || Names != std::vector<std::string>{"P"})
        return 2;
    TRegError Err = TRegError::None;
    if (WriteText(TRegRoot::System, "SOFTWARE\\P", "ClientDir", "/evil", &Err) ||
        Err != TRegError::AccessDenied)
        return 3;
    if (DeleteKey(TRegRoot::System, "SOFTWARE", &Err) || Err != TRegError::AccessDenied)
        return 4;
    return 0;
}

} // namespace

TEST_F(StoreFailureTest, SystemFileWithoutWriteRightIsReadableAndRefusesWrites) {
    ASSERT_TRUE(WriteText(TRegRoot::System, "SOFTWARE\\P", "ClientDir", "/opt/c"));
    chmod(Store.Dir().c_str(), 0755);
    chmod(Store.SystemPath().c_str(), geteuid() == 0 ? 0644 : 0444);

    // Once while this process keeps the file open (its WAL side files exist),
    // once after it closed it (they are gone).
    int Rc = RunWithoutWriteRights(Store.Dir(), ReadButNotWrite);
    if (Rc == 91)
        GTEST_SKIP() << "the temporary folder cannot be reached by another user";
    EXPECT_EQ(Rc, 0);
    ReleaseCachedConnections();
    EXPECT_EQ(RunWithoutWriteRights(Store.Dir(), ReadButNotWrite), 0);

    std::string Text;
    ASSERT_TRUE(ReadText(TRegRoot::System, "SOFTWARE\\P", "ClientDir", Text));
    EXPECT_EQ(Text, "/opt/c");
}

TEST_F(StoreFailureTest, UnreadableFileIsAccessDenied) {
    ASSERT_TRUE(WriteText(TRegRoot::System, "K", "V", "secret"));
    ReleaseCachedConnections();
    chmod(Store.Dir().c_str(), 0755);
    chmod(Store.SystemPath().c_str(), 0);
    int Rc = RunWithoutWriteRights(Store.Dir(), [] {
        std::string Text;
        TRegError Err = TRegError::None;
        if (ReadText(TRegRoot::System, "K", "V", Text, &Err))
            return 1;
        return Err == TRegError::AccessDenied ? 0 : 2;
    });
    if (Rc == 91)
        GTEST_SKIP() << "the temporary folder cannot be reached by another user";
    EXPECT_EQ(Rc, 0);
    chmod(Store.SystemPath().c_str(), 0644);
}

// A writer killed in the middle of a write leaves its journal behind. A
// reader without the right to write cannot roll it back: it must be told the
// store needs recovery (not "attempt to write a readonly database"), and the
// next user who may write it repairs it for everyone.
TEST_F(StoreFailureTest, ReaderWithoutWriteRightFacingACrashedWriteIsToldItNeedsRecovery) {
    ASSERT_TRUE(WriteText(TRegRoot::System, "K", "V", "before"));
    ReleaseCachedConnections();
    pid_t Writer = fork();
    if (Writer == 0) {
        sqlite3* Db = nullptr;
        if (sqlite3_open(Store.SystemPath().c_str(), &Db) != SQLITE_OK ||
            sqlite3_exec(Db,
                         // A tiny cache makes the write spill into the file itself
                         // before it is committed, with the journal synced first.
                         "PRAGMA cache_size=2; BEGIN IMMEDIATE; UPDATE vals SET data = 'half-written';"
                         "WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < 3000) "
                         "INSERT INTO vals(key, fold, name, type, data, seq) "
                         "SELECT 0, 'F' || i, 'f' || i, 1, hex(zeroblob(200)), i FROM c;",
                         nullptr, nullptr, nullptr) != SQLITE_OK)
            _exit(1);
        raise(SIGKILL);
    }
    int Status = 0;
    waitpid(Writer, &Status, 0);
    ASSERT_TRUE(WIFSIGNALED(Status));
    ASSERT_TRUE(fs::exists(Store.SystemPath() + "-journal"));
    chmod(Store.Dir().c_str(), 0755);
    chmod(Store.SystemPath().c_str(), geteuid() == 0 ? 0644 : 0444);

    int Rc = RunWithoutWriteRights(Store.Dir(), [] {
        TRegTransaction Tx(TRegRoot::System, TRegAccess::Read);
        TRegKey Key;
        std::string Text;
        if (Tx.Ok() && Tx.OpenKey("K", Key) && Key.ReadText("V", Text))
            return 1;
        if (Tx.ErrorText().find("the store needs recovery") == std::string::npos ||
            Tx.ErrorText().find("only someone allowed to write the store file") == std::string::npos) {
            std::fprintf(stderr, "%s\n", Tx.ErrorText().c_str());
            return 2;
        }
        return Tx.Error() == TRegError::AccessDenied ? 0 : 3;
    });
    if (Rc == 91)
        GTEST_SKIP() << "the temporary folder cannot be reached by another user";
    EXPECT_EQ(Rc, 0);

    // Someone who may write the file reads it: the half-done write is undone.
    chmod(Store.SystemPath().c_str(), 0644);
    std::string Text;
    ASSERT_TRUE(ReadText(TRegRoot::System, "K", "V", Text));
    EXPECT_EQ(Text, "before");
    ReleaseCachedConnections();
    chmod(Store.SystemPath().c_str(), geteuid() == 0 ? 0644 : 0444);
    EXPECT_EQ(RunWithoutWriteRights(Store.Dir(),
                                    [] {
                                        std::string T;
                                        return ReadText(TRegRoot::System, "K", "V", T) && T == "before" ? 0
                                                                                                        : 1;
                                    }),
              0);
}

// A thread already writing a file cannot also wait for its own turn there.
TEST_F(StoreFailureTest, SecondWriteOnTheSameFileInOneThreadIsBusyAtOnce) {
    TRegTransaction First(TRegRoot::User, TRegAccess::Write);
    TRegKey Key;
    ASSERT_TRUE(First.Ok() && First.CreateKey("K", Key) && Key.WriteText("V", "first")) << First.ErrorText();
    auto Start = std::chrono::steady_clock::now();
    {
        TRegTransaction Second(TRegRoot::User, TRegAccess::Write);
        EXPECT_FALSE(Second.Ok());
        EXPECT_EQ(Second.Error(), TRegError::Busy);
        EXPECT_NE(Second.ErrorText().find("this thread is writing it already"), std::string::npos)
            << Second.ErrorText();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(2));
    ASSERT_TRUE(First.Commit());
    std::string Text;
    ASSERT_TRUE(ReadText(TRegRoot::User, "K", "V", Text));
    EXPECT_EQ(Text, "first");
}
