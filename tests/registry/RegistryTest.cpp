#include "registry/Registry.h"
#include "support/TempStore.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

using namespace wdx::registry;
namespace fs = std::filesystem;

namespace {

class RegistryTest : public ::testing::Test {
protected:
    wdx::testsupport::TTempStore Store;
};

std::vector<std::string> SubKeys(TRegRoot Root, std::string_view Key) {
    std::vector<std::string> Names;
    ListSubKeys(Root, Key, Names);
    return Names;
}

} // namespace

TEST_F(RegistryTest, MissingFileReadsAsEmptyRootAndIsNotCreatedByReading) {
    std::string Text;
    TRegError Err = TRegError::None;
    EXPECT_FALSE(ReadText(TRegRoot::User, "SOFTWARE", "X", Text, &Err));
    EXPECT_EQ(Err, TRegError::NotFound);
    EXPECT_TRUE(SubKeys(TRegRoot::System, "").empty());
    EXPECT_TRUE(KeyExists(TRegRoot::User, "")); // the root always exists
    EXPECT_FALSE(KeyExists(TRegRoot::User, "SOFTWARE"));
    EXPECT_FALSE(fs::exists(Store.UserPath()));
    EXPECT_FALSE(fs::exists(Store.SystemPath()));
}

TEST_F(RegistryTest, FirstWriteCreatesFileAndFolders) {
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

TEST_F(RegistryTest, PathIsLookedUpForEveryOperation) {
    ASSERT_TRUE(WriteText(TRegRoot::User, "K", "V", "first"));
    std::string Other = Store.Dir() + "/other.sqlite";
    setenv("WDX_USER_STORE", Other.c_str(), 1);
    std::string Text;
    EXPECT_FALSE(ReadText(TRegRoot::User, "K", "V", Text));
    ASSERT_TRUE(WriteText(TRegRoot::User, "K", "V", "second"));
    setenv("WDX_USER_STORE", Store.UserPath().c_str(), 1);
    ASSERT_TRUE(ReadText(TRegRoot::User, "K", "V", Text));
    EXPECT_EQ(Text, "first");
}

TEST_F(RegistryTest, NamesCompareWithoutCaseAndKeepTheirCase) {
    ASSERT_TRUE(WriteText(TRegRoot::User, "Software\\Ärger\\Σίσυφος", "HostName", "h1"));
    // Same keys and value, other case, beyond ASCII too.
    ASSERT_TRUE(WriteText(TRegRoot::User, "SOFTWARE\\äRGER\\ΣΊΣΥΦΟΣ", "hostname", "h2"));
    EXPECT_EQ(SubKeys(TRegRoot::User, ""), std::vector<std::string>{"Software"});
    EXPECT_EQ(SubKeys(TRegRoot::User, "software"), std::vector<std::string>{"Ärger"});
    EXPECT_EQ(SubKeys(TRegRoot::User, "software\\ärger"), std::vector<std::string>{"Σίσυφος"});

    TRegTransaction Tx(TRegRoot::User, TRegAccess::Read);
    TRegKey Key;
    ASSERT_TRUE(Tx.OpenKey("software\\ÄRGER\\σίσυφος", Key));
    std::vector<TRegValue> Values;
    ASSERT_TRUE(Key.Values(Values));
    ASSERT_EQ(Values.size(), 1u);
    EXPECT_EQ(Values[0].Name, "HostName");
    EXPECT_EQ(Values[0].Text, "h2");
    // Final and medial sigma meet, as in the platform's upper-case table;
    // "ß" has no single-character upper case and stays apart from "SS".
    EXPECT_TRUE(Tx.OpenKey("SOFTWARE\\ÄRGER\\σίσυφοσ", Key));
    std::string A, B;
    ASSERT_TRUE(FoldName("straße", A));
    ASSERT_TRUE(FoldName("STRASSE", B));
    EXPECT_NE(A, B);
}

TEST_F(RegistryTest, SubKeysListSortedByUpperCasedNameLikeThePlatform) {
    for (const char* Name : {"b", "_x", "A", "a2", "Zeta", "émile", "Emile"})
        ASSERT_TRUE(WriteText(TRegRoot::User, std::string("P\\") + Name, "V", "1"));
    // "_" sorts after the letters once they are upper-cased.
    std::vector<std::string> Expected{"A", "a2", "b", "Emile", "Zeta", "_x", "émile"};
    EXPECT_EQ(SubKeys(TRegRoot::User, "P"), Expected);
}

TEST_F(RegistryTest, InvalidNamesAreRefused) {
    TRegError Err = TRegError::None;
    EXPECT_FALSE(WriteText(TRegRoot::User, "A\\\\B", "V", "x", &Err)); // empty name inside
    EXPECT_EQ(Err, TRegError::InvalidName);
    EXPECT_FALSE(WriteText(TRegRoot::User, "Bad\xff", "V", "x", &Err));
    EXPECT_EQ(Err, TRegError::InvalidName);
    EXPECT_FALSE(WriteText(TRegRoot::User, "K", std::string_view("a\0b", 3), "x", &Err));
    EXPECT_EQ(Err, TRegError::InvalidName);
    EXPECT_FALSE(DeleteKey(TRegRoot::User, "", &Err));
    EXPECT_EQ(Err, TRegError::InvalidName);
    EXPECT_TRUE(SubKeys(TRegRoot::User, "").empty());

    TRegTransaction Tx(TRegRoot::User, TRegAccess::Write);
    TRegKey Root, Sub;
    ASSERT_TRUE(Tx.OpenKey("", Root));
    EXPECT_FALSE(Root.CreateSubKey("a\\b", Sub));
    EXPECT_EQ(Tx.Error(), TRegError::InvalidName);
    // A value name may hold the separator.
    ASSERT_TRUE(Root.CreateSubKey("K", Sub));
    EXPECT_TRUE(Sub.WriteText("a\\b", "ok"));
    EXPECT_TRUE(Tx.Commit());
    std::string Text;
    EXPECT_TRUE(ReadText(TRegRoot::User, "\\K\\", "A\\B", Text)); // outer separators are tolerated
    EXPECT_EQ(Text, "ok");
}

TEST_F(RegistryTest, ValuesAreTypedAndReadersGetWrongTypeForAnother) {
    ASSERT_TRUE(WriteText(TRegRoot::System, "K", "Text", "12"));
    ASSERT_TRUE(WriteInt32(TRegRoot::System, "K", "Int", -5));
    ASSERT_TRUE(WriteInt32(TRegRoot::System, "K", "Max", INT32_MAX));
    {
        TRegTransaction Tx(TRegRoot::System, TRegAccess::Write);
        TRegKey Key;
        ASSERT_TRUE(Tx.OpenKey("K", Key));
        TRegValue Bin;
        Bin.Name = "Bin";
        Bin.Type = TRegValueType::Other;
        Bin.Kind = 3;
        Bin.Bytes = std::string("\0\x01\xff", 3);
        ASSERT_TRUE(Key.WriteValue(Bin));
        Bin.Kind = RegKindText; // type and number disagree
        EXPECT_FALSE(Key.WriteValue(Bin));
        ASSERT_TRUE(Tx.Commit());
    }
    std::string Text;
    std::int32_t N = 0;
    TRegError Err = TRegError::None;
    EXPECT_FALSE(ReadInt32(TRegRoot::System, "K", "Text", N, &Err));
    EXPECT_EQ(Err, TRegError::WrongType);
    EXPECT_FALSE(ReadText(TRegRoot::System, "K", "Int", Text, &Err));
    EXPECT_EQ(Err, TRegError::WrongType);
    EXPECT_FALSE(ReadText(TRegRoot::System, "K", "Bin", Text, &Err));
    EXPECT_EQ(Err, TRegError::WrongType);
    ASSERT_TRUE(ReadInt32(TRegRoot::System, "K", "Int", N));
    EXPECT_EQ(N, -5);
    ASSERT_TRUE(ReadInt32(TRegRoot::System, "K", "max", N));
    EXPECT_EQ(N, INT32_MAX);

    TRegValueType Type;
    ASSERT_TRUE(GetValueType(TRegRoot::System, "K", "bin", Type));
    EXPECT_EQ(Type, TRegValueType::Other);
    TRegValue V;
    ASSERT_TRUE(ReadValue(TRegRoot::System, "K", "Bin", V));
    EXPECT_EQ(V.Kind, 3u);
    EXPECT_EQ(V.Bytes, std::string("\0\x01\xff", 3));

    // Writing another type replaces the value, in place.
    ASSERT_TRUE(WriteInt32(TRegRoot::System, "K", "TEXT", 7));
    ASSERT_TRUE(GetValueType(TRegRoot::System, "K", "Text", Type));
    EXPECT_EQ(Type, TRegValueType::Int32);
    TRegTransaction Tx(TRegRoot::System, TRegAccess::Read);
    TRegKey Key;
    ASSERT_TRUE(Tx.OpenKey("K", Key));
    std::vector<TRegValue> All;
    ASSERT_TRUE(Key.Values(All));
    ASSERT_EQ(All.size(), 4u);
    EXPECT_EQ(All[0].Name, "Text"); // first-write order and first-write case
    EXPECT_EQ(All[0].Int, 7);
    EXPECT_EQ(All[3].Name, "Bin");
}

TEST_F(RegistryTest, EmptyTextAndDefaultValueAreKept) {
    ASSERT_TRUE(WriteText(TRegRoot::User, "K", "", "default"));
    ASSERT_TRUE(WriteText(TRegRoot::User, "K", "Empty", ""));
    std::string Text = "x";
    ASSERT_TRUE(ReadText(TRegRoot::User, "K", "Empty", Text));
    EXPECT_EQ(Text, "");
    ASSERT_TRUE(ReadText(TRegRoot::User, "K", "", Text));
    EXPECT_EQ(Text, "default");
}

TEST_F(RegistryTest, DeleteValueAndKeyTree) {
    ASSERT_TRUE(WriteText(TRegRoot::User, "A\\B\\C", "V", "1"));
    ASSERT_TRUE(WriteText(TRegRoot::User, "A\\B", "V", "2"));
    ASSERT_TRUE(WriteText(TRegRoot::User, "A\\Keep", "V", "3"));
    TRegError Err = TRegError::None;
    EXPECT_FALSE(DeleteValue(TRegRoot::User, "A\\B", "Nope", &Err));
    EXPECT_EQ(Err, TRegError::NotFound);
    EXPECT_TRUE(DeleteValue(TRegRoot::User, "A\\B", "v"));
    std::string Text;
    EXPECT_FALSE(ReadText(TRegRoot::User, "A\\B", "V", Text));

    EXPECT_TRUE(DeleteKey(TRegRoot::User, "a\\b"));
    EXPECT_FALSE(KeyExists(TRegRoot::User, "A\\B\\C"));
    EXPECT_EQ(SubKeys(TRegRoot::User, "A"), std::vector<std::string>{"Keep"});
    EXPECT_FALSE(DeleteKey(TRegRoot::User, "A\\B", &Err));
    EXPECT_EQ(Err, TRegError::NotFound);
    // Re-created keys start empty: nothing of the deleted tree comes back.
    ASSERT_TRUE(WriteText(TRegRoot::User, "A\\B\\C", "Other", "x"));
    TRegValueType Type;
    EXPECT_FALSE(GetValueType(TRegRoot::User, "A\\B\\C", "V", Type));
}

TEST_F(RegistryTest, UncommittedOrFailedTransactionLeavesNothing) {
    ASSERT_TRUE(WriteText(TRegRoot::User, "K", "Old", "kept"));
    {
        TRegTransaction Tx(TRegRoot::User, TRegAccess::Write);
        TRegKey Key;
        ASSERT_TRUE(Tx.CreateKey("K\\New", Key));
        ASSERT_TRUE(Key.WriteText("A", "1"));
        ASSERT_TRUE(Tx.DeleteKey("K"));
        // The handle to a deleted key cannot leave values behind.
        EXPECT_FALSE(Key.WriteText("B", "2"));
        EXPECT_EQ(Tx.Error(), TRegError::NotFound);
    } // destroyed without Commit
    std::string Text;
    ASSERT_TRUE(ReadText(TRegRoot::User, "K", "Old", Text));
    EXPECT_EQ(Text, "kept");
    EXPECT_FALSE(KeyExists(TRegRoot::User, "K\\New"));

    TRegTransaction Tx(TRegRoot::User, TRegAccess::Read);
    TRegKey Key;
    ASSERT_TRUE(Tx.OpenKey("K", Key));
    EXPECT_FALSE(Key.WriteText("X", "1")); // read transaction
    EXPECT_EQ(Tx.Error(), TRegError::Closed);
    ASSERT_TRUE(Tx.Commit());
    EXPECT_FALSE(Key.ReadText("Old", Text)); // the transaction has ended
    EXPECT_EQ(Tx.Error(), TRegError::Closed);
}

TEST_F(RegistryTest, ReadTransactionSeesOneSnapshotAndWriterWaitsForIt) {
    ASSERT_TRUE(WriteText(TRegRoot::User, "K", "V", "before"));
    TRegTransaction Reader(TRegRoot::User, TRegAccess::Read);
    TRegKey Key;
    ASSERT_TRUE(Reader.OpenKey("K", Key));
    std::string Text;
    ASSERT_TRUE(Key.ReadText("V", Text));
    bool Written = false;
    std::thread Writer([&] { Written = WriteText(TRegRoot::User, "K", "V", "after"); });
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    ASSERT_TRUE(Key.ReadText("V", Text));
    EXPECT_EQ(Text, "before");
    ASSERT_TRUE(Reader.Commit());
    Writer.join();
    EXPECT_TRUE(Written);
    ASSERT_TRUE(ReadText(TRegRoot::User, "K", "V", Text));
    EXPECT_EQ(Text, "after");
}

// A kept connection must notice that the file behind the path has changed.
TEST_F(RegistryTest, DeletedOrReplacedFileIsNoticedBetweenOperations) {
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

TEST_F(RegistryTest, ReadNestedInAWriteSeesTheCommittedState) {
    ASSERT_TRUE(WriteText(TRegRoot::User, "K", "V", "1"));
    TRegTransaction Outer(TRegRoot::User, TRegAccess::Write);
    TRegKey Key;
    ASSERT_TRUE(Outer.OpenKey("K", Key));
    ASSERT_TRUE(Key.WriteText("V", "2"));
    std::string Text;
    ASSERT_TRUE(ReadText(TRegRoot::User, "K", "V", Text)); // its own connection
    EXPECT_EQ(Text, "1");
    ASSERT_TRUE(Outer.Commit());
    ASSERT_TRUE(ReadText(TRegRoot::User, "K", "V", Text));
    EXPECT_EQ(Text, "2");
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
