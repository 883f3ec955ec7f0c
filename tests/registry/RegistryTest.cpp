// The store's contract, run over the back-end of the build: SQLite on Linux,
// the registry on Windows. Where the two must differ, StoreFeatures() says
// which promise holds and the test checks that one:
// - Transactions: with them, what a transaction has not committed is never
//   seen nor kept, and a read sees one snapshot; without them (the registry),
//   every write is made at once and stays, and a read sees it at once.
// - RegistryOrder: sub-keys and values are listed in the registry's own
//   order (then only what the registry surely keeps is checked); else sub-keys
//   by upper-cased name and values in first-write order.
// The back-end's own matters (files, locks, processes) are tested beside it.

#include "registry/Registry.h"
#include "support/TempStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

using namespace wdx::registry;
using wdx::testsupport::TTempStore;

namespace {

class RegistryTest : public ::testing::Test {
protected:
    TTempStore Store;
};

bool Transactional() {
    return StoreFeatures().Transactions;
}

std::vector<std::string> NamesOf(const std::vector<TRegValue>& Values, bool Sorted) {
    std::vector<std::string> Names;
    for (const TRegValue& V : Values)
        Names.push_back(V.Name);
    if (Sorted)
        std::sort(Names.begin(), Names.end());
    return Names;
}

std::vector<std::string> SubKeys(TRegRoot Root, std::string_view Key) {
    std::vector<std::string> Names;
    ListSubKeys(Root, Key, Names);
    return Names;
}

} // namespace

TEST_F(RegistryTest, MissingStoreReadsAsEmptyRootAndIsNotCreatedByReading) {
    std::string Text;
    TRegError Err = TRegError::None;
    EXPECT_FALSE(ReadText(TRegRoot::User, "SOFTWARE", "X", Text, &Err));
    EXPECT_EQ(Err, TRegError::NotFound);
    EXPECT_TRUE(SubKeys(TRegRoot::System, "").empty());
    EXPECT_TRUE(KeyExists(TRegRoot::User, "")); // the root always exists
    EXPECT_FALSE(KeyExists(TRegRoot::User, "SOFTWARE"));
    EXPECT_FALSE(TTempStore::Exists(Store.UserPath()));
    EXPECT_FALSE(TTempStore::Exists(Store.SystemPath()));
    ASSERT_TRUE(WriteText(TRegRoot::User, "A\\B", "V", "1"));
    EXPECT_TRUE(TTempStore::Exists(Store.UserPath()));
    EXPECT_EQ(SubKeys(TRegRoot::User, "A"), std::vector<std::string>{"B"}); // the keys above too
    EXPECT_FALSE(TTempStore::Exists(Store.SystemPath()));
}

TEST_F(RegistryTest, PathIsLookedUpForEveryOperation) {
    ASSERT_TRUE(WriteText(TRegRoot::User, "K", "V", "first"));
    TTempStore::UsePath(TRegRoot::User, Store.ExtraPath("other"));
    std::string Text;
    EXPECT_FALSE(ReadText(TRegRoot::User, "K", "V", Text));
    ASSERT_TRUE(WriteText(TRegRoot::User, "K", "V", "second"));
    TTempStore::UsePath(TRegRoot::User, Store.UserPath());
    ASSERT_TRUE(ReadText(TRegRoot::User, "K", "V", Text));
    EXPECT_EQ(Text, "first");
}

TEST_F(RegistryTest, NamesCompareWithoutCaseAndKeepTheirCase) {
    ASSERT_TRUE(WriteText(TRegRoot::User, "Software\\Ärger\\Δάφνη", "HostName", "h1"));
    // Same keys and value, other case, beyond ASCII too.
    ASSERT_TRUE(WriteText(TRegRoot::User, "SOFTWARE\\äRGER\\ΔΆΦΝΗ", "hostname", "h2"));
    EXPECT_EQ(SubKeys(TRegRoot::User, ""), std::vector<std::string>{"Software"});
    EXPECT_EQ(SubKeys(TRegRoot::User, "software"), std::vector<std::string>{"Ärger"});
    EXPECT_EQ(SubKeys(TRegRoot::User, "software\\ärger"), std::vector<std::string>{"Δάφνη"});

    TRegTransaction Tx(TRegRoot::User, TRegAccess::Read);
    TRegKey Key;
    ASSERT_TRUE(Tx.OpenKey("software\\ÄRGER\\δάφνη", Key));
    std::vector<TRegValue> Values;
    ASSERT_TRUE(Key.Values(Values));
    ASSERT_EQ(Values.size(), 1u);
    EXPECT_EQ(Values[0].Name, "HostName");
    EXPECT_EQ(Values[0].Text, "h2");
    // "ß" has no single-character upper case and stays apart from "SS".
    std::string A, B;
    ASSERT_TRUE(FoldName("straße", A));
    ASSERT_TRUE(FoldName("STRASSE", B));
    EXPECT_NE(A, B);
}

// Where the platforms' upper-case tables part (final sigma, letters beyond
// U+FFFF), the store meets two names exactly when FoldName makes them equal.
TEST_F(RegistryTest, StoreComparesNamesAsFoldNameDoes) {
    const std::pair<const char*, const char*> Pairs[] = {{"σίσυφος", "ΣΊΣΥΦΟΣ"},
                                                         {"ς", "σ"},
                                                         {"straße", "STRASSE"},
                                                         {"\xF0\x90\x90\xA8", "\xF0\x90\x90\x80"},
                                                         {"ǅ", "Ǆ"}};
    for (const auto& [Lower, Upper] : Pairs) {
        std::string A, B;
        ASSERT_TRUE(FoldName(Lower, A));
        ASSERT_TRUE(FoldName(Upper, B));
        ASSERT_TRUE(WriteText(TRegRoot::User, std::string("P\\") + Lower, "V", "1"));
        EXPECT_EQ(KeyExists(TRegRoot::User, std::string("P\\") + Upper), A == B) << Lower << " " << Upper;
        ASSERT_TRUE(WriteText(TRegRoot::User, "Values", Lower, "lower"));
        ASSERT_TRUE(WriteText(TRegRoot::User, "Values", Upper, "upper"));
        std::string Text;
        ASSERT_TRUE(ReadText(TRegRoot::User, "Values", Lower, Text));
        EXPECT_EQ(Text, A == B ? "upper" : "lower") << Lower << " " << Upper;
    }
}

TEST_F(RegistryTest, SubKeysListInTheOrderOfTheirUpperCasedNames) {
    std::vector<std::string> Written{"b", "_x", "A", "a2", "Zeta", "émile", "Emile"};
    for (const std::string& Name : Written)
        ASSERT_TRUE(WriteText(TRegRoot::User, "P\\" + Name, "V", "1"));
    std::vector<std::string> Listed = SubKeys(TRegRoot::User, "P");
    if (StoreFeatures().RegistryOrder) {
        // The registry's own order, which Windows and Wine do not agree on
        // for "_" (Wine compares lower-cased names): only the letters are sure.
        std::erase(Listed, "_x");
        EXPECT_EQ(Listed, (std::vector<std::string>{"A", "a2", "b", "Emile", "Zeta", "émile"}));
        return;
    }
    // "_" sorts after the letters once they are upper-cased.
    EXPECT_EQ(Listed, (std::vector<std::string>{"A", "a2", "b", "Emile", "Zeta", "_x", "émile"}));
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
    // First-write case; first-write order where the back-end keeps it.
    const bool InOrder = !StoreFeatures().RegistryOrder;
    EXPECT_EQ(NamesOf(All, !InOrder), (InOrder ? std::vector<std::string>{"Text", "Int", "Max", "Bin"}
                                               : std::vector<std::string>{"Bin", "Int", "Max", "Text"}));
    auto Text7 = std::find_if(All.begin(), All.end(), [](const TRegValue& V) { return V.Name == "Text"; });
    ASSERT_NE(Text7, All.end());
    EXPECT_EQ(Text7->Int, 7);
}

TEST_F(RegistryTest, SubKeysWithValuesMatchesNamesThenValues) {
    ASSERT_TRUE(WriteText(TRegRoot::User, "P\\b", "Zed", "1"));
    ASSERT_TRUE(WriteInt32(TRegRoot::User, "P\\b", "alpha", 2));
    ASSERT_TRUE(WriteText(TRegRoot::User, "P\\b", "Mid", "3"));
    ASSERT_TRUE(WriteText(TRegRoot::User, "P\\A\\Deeper", "NotMine", "x"));
    ASSERT_TRUE(WriteText(TRegRoot::User, "P\\c", "Only", "4"));
    TRegTransaction Tx(TRegRoot::User, TRegAccess::Read);
    TRegKey P;
    ASSERT_TRUE(Tx.OpenKey("P", P));
    std::vector<TRegSubKey> Subs;
    ASSERT_TRUE(P.SubKeysWithValues(Subs));
    std::vector<std::string> Names;
    ASSERT_TRUE(P.SubKeyNames(Names));
    ASSERT_EQ(Subs.size(), Names.size());
    for (size_t I = 0; I < Names.size(); ++I) {
        EXPECT_EQ(Subs[I].Name, Names[I]);
        TRegKey K;
        std::vector<TRegValue> Values;
        ASSERT_TRUE(P.OpenSubKey(Names[I], K));
        ASSERT_TRUE(K.Values(Values));
        ASSERT_EQ(Subs[I].Values.size(), Values.size()) << Names[I];
        for (size_t J = 0; J < Values.size(); ++J) {
            EXPECT_EQ(Subs[I].Values[J].Name, Values[J].Name);
            EXPECT_EQ(Subs[I].Values[J].Type, Values[J].Type);
            EXPECT_EQ(Subs[I].Values[J].Text, Values[J].Text);
            EXPECT_EQ(Subs[I].Values[J].Int, Values[J].Int);
        }
    }
    EXPECT_TRUE(Subs[0].Values.empty()); // "A" has a sub-key but no values
    const bool InOrder = !StoreFeatures().RegistryOrder;
    EXPECT_EQ(NamesOf(Subs[1].Values, !InOrder), (InOrder ? std::vector<std::string>{"Zed", "alpha", "Mid"}
                                                          : std::vector<std::string>{"Mid", "Zed", "alpha"}));
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

TEST_F(RegistryTest, UncommittedTransactionLeavesNothingOrWroteThrough) {
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
        ASSERT_TRUE(Tx.CreateKey("Other", Key));
        ASSERT_TRUE(Key.WriteText("C", "3"));
    } // destroyed without Commit
    std::string Text;
    // Rolled back; or, without transactions, every write was made and stays.
    EXPECT_EQ(ReadText(TRegRoot::User, "K", "Old", Text), Transactional());
    EXPECT_EQ(KeyExists(TRegRoot::User, "K"), Transactional());
    EXPECT_EQ(ReadText(TRegRoot::User, "Other", "C", Text), !Transactional());
    EXPECT_FALSE(KeyExists(TRegRoot::User, "K\\New"));
    ASSERT_TRUE(WriteText(TRegRoot::User, "K", "Old", "kept"));

    TRegTransaction Tx(TRegRoot::User, TRegAccess::Read);
    TRegKey Key;
    ASSERT_TRUE(Tx.OpenKey("K", Key));
    EXPECT_FALSE(Key.WriteText("X", "1")); // read transaction
    EXPECT_EQ(Tx.Error(), TRegError::Closed);
    EXPECT_FALSE(Tx.DeleteKey("K"));
    EXPECT_EQ(Tx.Error(), TRegError::Closed);
    ASSERT_TRUE(Tx.Commit());
    EXPECT_FALSE(Key.ReadText("Old", Text)); // the transaction has ended
    EXPECT_EQ(Tx.Error(), TRegError::Closed);
    EXPECT_TRUE(KeyExists(TRegRoot::User, "K"));
}

TEST_F(RegistryTest, ReadTransactionSeesOneSnapshotOrEveryWriteAtOnce) {
    ASSERT_TRUE(WriteText(TRegRoot::User, "K", "V", "before"));
    TRegTransaction Reader(TRegRoot::User, TRegAccess::Read);
    TRegKey Key;
    ASSERT_TRUE(Reader.OpenKey("K", Key));
    std::string Text;
    ASSERT_TRUE(Key.ReadText("V", Text));
    bool Written = false;
    std::thread Writer([&] { Written = WriteText(TRegRoot::User, "K", "V", "after"); });
    if (Transactional()) // the writer waits for the reader
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    else
        Writer.join();
    ASSERT_TRUE(Key.ReadText("V", Text));
    EXPECT_EQ(Text, Transactional() ? "before" : "after");
    ASSERT_TRUE(Reader.Commit());
    if (Writer.joinable())
        Writer.join();
    EXPECT_TRUE(Written);
    ASSERT_TRUE(ReadText(TRegRoot::User, "K", "V", Text));
    EXPECT_EQ(Text, "after");
}

TEST_F(RegistryTest, ReadNestedInAWriteSeesTheCommittedStateOrTheWriteAtOnce) {
    ASSERT_TRUE(WriteText(TRegRoot::User, "K", "V", "1"));
    TRegTransaction Outer(TRegRoot::User, TRegAccess::Write);
    TRegKey Key;
    ASSERT_TRUE(Outer.OpenKey("K", Key));
    ASSERT_TRUE(Key.WriteText("V", "2"));
    std::string Text;
    ASSERT_TRUE(ReadText(TRegRoot::User, "K", "V", Text)); // its own transaction
    EXPECT_EQ(Text, Transactional() ? "1" : "2");
    ASSERT_TRUE(Outer.Commit());
    ASSERT_TRUE(ReadText(TRegRoot::User, "K", "V", Text));
    EXPECT_EQ(Text, "2");
}
