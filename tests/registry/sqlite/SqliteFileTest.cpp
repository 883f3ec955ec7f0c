// The SQLite back-end's files: where they are, how they come to be, and what
// happens when they change under a running program.

#include "registry/Registry.h"
#include "support/TempStore.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <thread>

using namespace wdx::registry;
namespace fs = std::filesystem;

namespace {

class SqliteFileTest : public ::testing::Test {
protected:
    wdx::testsupport::TTempStore Store;
};

std::vector<std::string> SubKeys(TRegRoot Root, std::string_view Key) {
    std::vector<std::string> Names;
    ListSubKeys(Root, Key, Names);
    return Names;
}

} // namespace

TEST_F(SqliteFileTest, FirstWriteCreatesFileAndFolders) {
    std::string Deep = Store.Dir() + "/a/b/c/system.sqlite";
    setenv("WDX_SYSTEM_STORE", Deep.c_str(), 1);
    ASSERT_TRUE(WriteText(TRegRoot::System, "SOFTWARE\\Corvanta\\VKR_Client", "ClientDir", "/opt/client"));
    EXPECT_TRUE(fs::exists(Deep));
    std::string Text;
    ASSERT_TRUE(ReadText(TRegRoot::System, "SOFTWARE\\Corvanta\\VKR_Client", "ClientDir", Text));
    EXPECT_EQ(Text, "/opt/client");
    // Every key above was created too, and the User root is untouched.
    EXPECT_EQ(SubKeys(TRegRoot::System, "SOFTWARE"), std::vector<std::string>{"Corvanta"});
    EXPECT_FALSE(KeyExists(TRegRoot::User, "SOFTWARE"));
}

// A kept connection must notice that the file behind the path has changed.
TEST_F(SqliteFileTest, DeletedOrReplacedFileIsNoticedBetweenOperations) {
    std::string Other = Store.Dir() + "/replacement.sqlite";
    for (bool Reuse : {true, false}) {
        SetConnectionReuse(Reuse);
        setenv("WDX_USER_STORE", Other.c_str(), 1);
        ASSERT_TRUE(WriteText(TRegRoot::User, "K", "V", "two"));
        ReleaseCachedConnections();
        setenv("WDX_USER_STORE", Store.UserPath().c_str(), 1);

        ASSERT_TRUE(WriteText(TRegRoot::User, "K", "V", "one"));
        std::string Text;
        ASSERT_TRUE(ReadText(TRegRoot::User, "K", "V", Text));
        fs::rename(Other, Store.UserPath());
        ASSERT_TRUE(ReadText(TRegRoot::User, "K", "V", Text)) << "reuse " << Reuse;
        EXPECT_EQ(Text, "two");

        fs::remove(Store.UserPath());
        EXPECT_FALSE(ReadText(TRegRoot::User, "K", "V", Text)) << "reuse " << Reuse;
        EXPECT_FALSE(fs::exists(Store.UserPath()));
    }
    SetConnectionReuse(true);
}

// Another process may create the store while this one reads the empty file.
TEST_F(SqliteFileTest, EmptyFileThatGetsItsSchemaLaterIsReadAfresh) {
    std::ofstream(Store.UserPath()).flush(); // 0 bytes: an empty database
    std::string Text;
    TRegError Err = TRegError::None;
    EXPECT_FALSE(ReadText(TRegRoot::User, "K", "V", Text, &Err));
    EXPECT_EQ(Err, TRegError::NotFound);
    std::thread Other([] { EXPECT_TRUE(WriteText(TRegRoot::User, "K", "V", "now")); }); // its own connection
    Other.join();
    ASSERT_TRUE(ReadText(TRegRoot::User, "K", "V", Text, &Err)) << ErrorName(Err);
    EXPECT_EQ(Text, "now");
}

// Rows that no build of ours writes any more: a key name of 300 characters
// 520 levels down, and a value name of 20,000 characters.
TEST_F(SqliteFileTest, WhatWasStoredPastTheLimitsStaysReadableAndDeletable) {
    ASSERT_TRUE(WriteText(TRegRoot::User, "Old", "Keep", "1"));
    ReleaseCachedConnections();
    const std::string LongKey(300, 'L'), LongValue(20000, 'N');
    sqlite3* Db = nullptr;
    ASSERT_EQ(sqlite3_open(Store.UserPath().c_str(), &Db), SQLITE_OK);
    std::string Sql =
        "BEGIN;"
        "INSERT INTO keys(id, parent, fold, name) VALUES(1000, (SELECT id FROM keys WHERE fold='OLD'),"
        " upper('" +
        LongKey + "'), '" + LongKey + "');";
    for (int I = 1; I < 520; ++I)
        Sql += "INSERT INTO keys(id, parent, fold, name) VALUES(" + std::to_string(1000 + I) + ", " +
               std::to_string(999 + I) + ", 'D', 'd');";
    Sql += "INSERT INTO vals(key, fold, name, type, data, seq) VALUES(1519, upper('" + LongValue + "'), '" +
           LongValue + "', 1, 'deep', 1); COMMIT;";
    char* Msg = nullptr;
    ASSERT_EQ(sqlite3_exec(Db, Sql.c_str(), nullptr, nullptr, &Msg), SQLITE_OK) << (Msg ? Msg : "");
    sqlite3_close(Db);

    std::string Path = "Old\\" + LongKey;
    for (int I = 1; I < 520; ++I)
        Path += "\\d";
    std::string Text;
    TRegError Err = TRegError::None;
    ASSERT_TRUE(ReadText(TRegRoot::User, Path, LongValue, Text, &Err)) << ErrorName(Err);
    EXPECT_EQ(Text, "deep");
    EXPECT_TRUE(DeleteValue(TRegRoot::User, Path, LongValue, &Err)) << ErrorName(Err);
    EXPECT_TRUE(DeleteKey(TRegRoot::User, "Old\\" + LongKey, &Err)) << ErrorName(Err);
    EXPECT_FALSE(KeyExists(TRegRoot::User, "Old\\" + LongKey));
    EXPECT_TRUE(ReadText(TRegRoot::User, "Old", "Keep", Text));
}

TEST(RegistryPaths, DefaultsFollowXdgAndEnvironmentOverrides) {
    wdx::testsupport::TTempStore Store;
    const char* Home = std::getenv("HOME");
    std::string SavedHome = Home ? Home : "";
    EXPECT_EQ(StorePath(TRegRoot::User), Store.UserPath());
    EXPECT_EQ(StorePath(TRegRoot::System), Store.SystemPath());
    setenv("WDX_USER_STORE", "", 1); // empty counts as unset
    setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(StorePath(TRegRoot::User), "/cfg/wdx/user-store.sqlite");
    setenv("XDG_CONFIG_HOME", "relative", 1);
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(DefaultStorePath(TRegRoot::User), "/home/someone/.config/wdx/user-store.sqlite");
    EXPECT_EQ(DefaultStorePath(TRegRoot::System), "/var/lib/wdx/system-store.sqlite");
    unsetenv("XDG_CONFIG_HOME");
    if (Home)
        setenv("HOME", SavedHome.c_str(), 1);
    else
        unsetenv("HOME");
}

// Linux folds names with ICU's simple upper-case mapping, for every character.
TEST(SqliteNames, FoldNameUsesTheUnicodeSimpleUpperCaseMapping) {
    const std::pair<const char*, const char*> Same[] = {
        {"σίσυφος", "ΣΊΣΥΦΟΣ"}, {"ς", "Σ"}, {"\xF0\x90\x90\xA8", "\xF0\x90\x90\x80"}, {"ǅ", "Ǆ"}};
    for (const auto& [A, B] : Same) {
        std::string FA, FB;
        ASSERT_TRUE(FoldName(A, FA) && FoldName(B, FB));
        EXPECT_EQ(FA, FB) << A;
    }
    std::string Fold;
    ASSERT_TRUE(FoldName("straße", Fold));
    EXPECT_EQ(Fold, "STRAßE"); // no single-character upper case
    EXPECT_FALSE(FoldName("bad\xC3", Fold));
}
