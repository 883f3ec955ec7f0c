#include "brokerstore/BrokerStore.h"
#include "registry/Registry.h"
#include "support/Environment.h"
#include "support/TempStore.h"

#include <gtest/gtest.h>

#include <fstream>

#ifdef _WIN32
#include "unicode/Utf.h"

#include <windows.h>
// after windows.h
#include <sddl.h>

#include <vector>
#endif

using namespace wdx::brokerstore;
using wdx::registry::TRegRoot;
namespace reg = wdx::registry;

namespace {

const std::string Product = ProductKey;

class BrokerStoreTest : public ::testing::Test {
protected:
    wdx::testsupport::TTempStore Store;

    // Makes a root's store unreadable for the rest of the test: a damaged
    // file with SQLite; on Windows, the root's key refuses everyone (an empty
    // access list), given back before the test store is removed.
    void MakeUnreadable(TRegRoot Root, std::size_t JunkBytes = 2048) {
        const std::string Path = Root == TRegRoot::User ? Store.UserPath() : Store.SystemPath();
#ifdef _WIN32
        (void)JunkBytes; // the registry has no file to fill with junk
        std::u16string Wide =
            wdx::unicode::Utf8ToUtf16(Path.substr(std::string("HKEY_CURRENT_USER\\").size()));
        HKEY H = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, reinterpret_cast<const wchar_t*>(Wide.c_str()), 0,
                                  nullptr, 0, WRITE_DAC | KEY_WOW64_32KEY, nullptr, &H, nullptr),
                  ERROR_SUCCESS);
        SetAccess(H, L"D:P");
        FLocked.push_back(H);
#else
        std::ofstream(Path, std::ios::binary) << std::string(JunkBytes, 'z');
#endif
    }
#ifdef _WIN32
    ~BrokerStoreTest() override {
        for (HKEY H : FLocked) {
            SetAccess(H, L"D:P(A;OICI;KA;;;WD)");
            RegCloseKey(H);
        }
    }
    static void SetAccess(HKEY H, const wchar_t* Sddl) {
        PSECURITY_DESCRIPTOR Sd = nullptr;
        ASSERT_TRUE(
            ConvertStringSecurityDescriptorToSecurityDescriptorW(Sddl, SDDL_REVISION_1, &Sd, nullptr));
        EXPECT_EQ(RegSetKeySecurity(H, DACL_SECURITY_INFORMATION, Sd), ERROR_SUCCESS);
        LocalFree(Sd);
    }
    std::vector<HKEY> FLocked;
#endif

    static TBrokerDefinition Def(std::string Name, TBrokerScope Scope = scUser) {
        return {std::move(Name), Scope, "host.example.net", "07563", "30", true, true, false};
    }
    static std::string Text(TRegRoot Root, const std::string& Key, const std::string& Name) {
        std::string T;
        return reg::ReadText(Root, Key, Name, T) ? T : "<missing>";
    }
    // A broker key holding exactly the given texts, written by "another tool".
    static void Raw(const std::string& Name,
                    std::initializer_list<std::pair<const char*, const char*>> Values) {
        reg::TRegTransaction Tx(TRegRoot::User, reg::TRegAccess::Write);
        reg::TRegKey K;
        ASSERT_TRUE(Tx.CreateKey(Product + "\\" + Name, K));
        for (auto [N, V] : Values)
            ASSERT_TRUE(K.WriteText(N, V));
        ASSERT_TRUE(Tx.Commit());
    }
};

} // namespace

TEST_F(BrokerStoreTest, NothingStoredListsNothing) {
    EXPECT_TRUE(ListBrokerNames(scUser).empty());
    EXPECT_TRUE(ListBrokerNames(scSystem).empty());
    // Values on the product key are not brokers.
    ASSERT_TRUE(reg::WriteText(TRegRoot::System, Product, "ClientDir", "/opt/client"));
    ASSERT_TRUE(reg::WriteInt32(TRegRoot::System, Product, "Disable8dot3Check", 1));
    EXPECT_TRUE(ListBrokerNames(scSystem).empty());
}

TEST_F(BrokerStoreTest, WriteStoresFiveTextsExactlyAndReadsThemBack) {
    ASSERT_TRUE(WriteBrokerDefinition(Def("Alpha")));
    std::string Key = Product + "\\Alpha";
    EXPECT_EQ(Text(TRegRoot::User, Key, "HostName"), "host.example.net");
    EXPECT_EQ(Text(TRegRoot::User, Key, "Port"), "07563"); // the leading zero stays
    EXPECT_EQ(Text(TRegRoot::User, Key, "TimeOut"), "30");
    EXPECT_EQ(Text(TRegRoot::User, Key, "ConnectionPooling"), "Y");
    EXPECT_EQ(Text(TRegRoot::User, Key, "LogLevel"), "1");
    EXPECT_FALSE(reg::KeyExists(TRegRoot::System, Key));

    TBrokerSummary S = ReadBrokerSummary(scUser, "alpha");
    EXPECT_EQ(S.HostName, "host.example.net");
    EXPECT_EQ(S.Port, "07563");
    EXPECT_EQ(S.TimeOut, "30");
    TBrokerOptions O;
    ASSERT_TRUE(ReadBrokerOptions(scUser, "ALPHA", O));
    EXPECT_TRUE(O.ConnectionPooling);
    EXPECT_TRUE(O.LogComms);
    EXPECT_FALSE(O.LogCalls);
}

TEST_F(BrokerStoreTest, LogLevelEncodingBothWays) {
    EXPECT_EQ(EncodeLogLevel(false, false), "0");
    EXPECT_EQ(EncodeLogLevel(true, false), "1");
    EXPECT_EQ(EncodeLogLevel(false, true), "2");
    EXPECT_EQ(EncodeLogLevel(true, true), "3");
    struct {
        const char* Text;
        bool Comms, Calls;
    } Cases[] = {{"0", false, false},          {"", false, false}, {"1", true, false},
                 {"2", false, true},           {"3", true, true},  {"7", true, true},
                 {"4", false, false},          {"-1", true, true}, {"+2", false, true},
                 {"-2147483648", false, false}};
    for (auto C : Cases) {
        std::string T = C.Text;
        bool Comms = !C.Comms, Calls = !C.Calls;
        DecodeLogLevel(&T, Comms, Calls);
        EXPECT_EQ(Comms, C.Comms) << C.Text;
        EXPECT_EQ(Calls, C.Calls) << C.Text;
    }
    bool A = true, B = true;
    DecodeLogLevel(nullptr, A, B);
    EXPECT_FALSE(A || B);
    for (const char* Bad : {"abc", "3x", " 3", "0x3", "+", "-", "99999999999", "+-1"}) {
        std::string T = Bad;
        EXPECT_THROW(DecodeLogLevel(&T, A, B), EBrokerStoreError) << Bad;
    }
}

TEST_F(BrokerStoreTest, ReadingRulesForMissingAndOddValues) {
    Raw("NoValues", {});
    Raw("EmptyTimeOut", {{"HostName", "h"}, {"Port", "1"}, {"TimeOut", ""}});
    Raw("Pooling", {{"ConnectionPooling", "y"}, {"LogLevel", "7"}});
    Raw("PoolingYes", {{"ConnectionPooling", "Yes"}, {"LogLevel", "4"}});
    Raw("BadLevel", {{"ConnectionPooling", "Y"}, {"LogLevel", "three"}});

    TBrokerSummary S = ReadBrokerSummary(scUser, "NoValues");
    EXPECT_EQ(S.HostName, "");
    EXPECT_EQ(S.Port, "");
    EXPECT_EQ(S.TimeOut, "0");
    EXPECT_EQ(ReadBrokerSummary(scUser, "EmptyTimeOut").TimeOut, "0");
    S = ReadBrokerSummary(scUser, "Missing");
    EXPECT_EQ(S.HostName + "|" + S.Port + "|" + S.TimeOut, "||0");

    TBrokerOptions O;
    ASSERT_TRUE(ReadBrokerOptions(scUser, "NoValues", O));
    EXPECT_FALSE(O.ConnectionPooling || O.LogComms || O.LogCalls);
    ASSERT_TRUE(ReadBrokerOptions(scUser, "Pooling", O));
    EXPECT_FALSE(O.ConnectionPooling); // only "Y" is on
    EXPECT_TRUE(O.LogComms && O.LogCalls);
    ASSERT_TRUE(ReadBrokerOptions(scUser, "PoolingYes", O));
    EXPECT_FALSE(O.ConnectionPooling || O.LogComms || O.LogCalls);

    // A key that cannot be opened leaves the caller's options alone.
    TBrokerOptions Kept{true, true, true};
    EXPECT_FALSE(ReadBrokerOptions(scUser, "Missing", Kept));
    EXPECT_TRUE(Kept.ConnectionPooling && Kept.LogComms && Kept.LogCalls);
    EXPECT_THROW(ReadBrokerOptions(scUser, "BadLevel", Kept), EBrokerStoreError);
    EXPECT_TRUE(Kept.ConnectionPooling && Kept.LogComms && Kept.LogCalls);
}

TEST_F(BrokerStoreTest, ValuesOfOtherTypesFromOtherTools) {
    std::string Key = Product + "\\Typed";
    ASSERT_TRUE(reg::WriteInt32(TRegRoot::User, Key, "Port", 7563));
    ASSERT_TRUE(reg::WriteInt32(TRegRoot::User, Key, "LogLevel", 2));
    {
        reg::TRegTransaction Tx(TRegRoot::User, reg::TRegAccess::Write);
        reg::TRegKey K;
        ASSERT_TRUE(Tx.OpenKey(Key, K));
        reg::TRegValue Bin{"HostName", reg::TRegValueType::Other, 3, "", 0, "\x01\x02"};
        ASSERT_TRUE(K.WriteValue(Bin));
        ASSERT_TRUE(Tx.Commit());
    }
    TBrokerSummary S = ReadBrokerSummary(scUser, "Typed");
    EXPECT_EQ(S.Port, "7563");
    EXPECT_EQ(S.HostName, ""); // binary reads as missing
    TBrokerOptions O;
    ASSERT_TRUE(ReadBrokerOptions(scUser, "Typed", O));
    EXPECT_TRUE(O.LogCalls);
    EXPECT_FALSE(O.LogComms);
}

TEST_F(BrokerStoreTest, ListsInEnumerationOrderPerScopeWithoutMerging) {
    for (const char* N : {"beta", "Alpha", "gamma"})
        ASSERT_TRUE(WriteBrokerDefinition(Def(N)));
    ASSERT_TRUE(WriteBrokerDefinition(Def("ALPHA", scSystem)));
    EXPECT_EQ(ListBrokerNames(scUser), (std::vector<std::string>{"Alpha", "beta", "gamma"}));
    EXPECT_EQ(ListBrokerNames(scSystem), std::vector<std::string>{"ALPHA"});
}

TEST_F(BrokerStoreTest, RewritingInOtherCaseUpdatesTheExistingKeyAndKeepsOtherValues) {
    ASSERT_TRUE(WriteBrokerDefinition(Def("MyBroker")));
    ASSERT_TRUE(reg::WriteText(TRegRoot::User, Product + "\\MyBroker", "Extra", "kept"));
    TBrokerDefinition D = Def("MYBROKER");
    D.HostName = "other";
    D.ConnectionPooling = false;
    D.LogComms = false;
    D.LogCalls = true;
    ASSERT_TRUE(WriteBrokerDefinition(D));
    EXPECT_EQ(ListBrokerNames(scUser), std::vector<std::string>{"MyBroker"});
    std::string Key = Product + "\\MyBroker";
    EXPECT_EQ(Text(TRegRoot::User, Key, "HostName"), "other");
    EXPECT_EQ(Text(TRegRoot::User, Key, "ConnectionPooling"), "N");
    EXPECT_EQ(Text(TRegRoot::User, Key, "LogLevel"), "2");
    EXPECT_EQ(Text(TRegRoot::User, Key, "Extra"), "kept");
}

TEST_F(BrokerStoreTest, DeleteRemovesTheWholeKeyAndFailsWhenItIsGone) {
    ASSERT_TRUE(WriteBrokerDefinition(Def("Gone")));
    ASSERT_TRUE(reg::WriteText(TRegRoot::User, Product + "\\Gone\\Sub", "X", "1"));
    ASSERT_TRUE(WriteBrokerDefinition(Def("Stays")));
    EXPECT_FALSE(DeleteBrokerDefinition(scSystem, "Gone")); // other scope
    EXPECT_TRUE(DeleteBrokerDefinition(scUser, "gone"));
    EXPECT_FALSE(reg::KeyExists(TRegRoot::User, Product + "\\Gone\\Sub"));
    EXPECT_EQ(ListBrokerNames(scUser), std::vector<std::string>{"Stays"});
    EXPECT_FALSE(DeleteBrokerDefinition(scUser, "Gone"));
}

TEST_F(BrokerStoreTest, NamesWithBackslashOrEmptyAreRefusedAndTouchNothing) {
    ASSERT_TRUE(WriteBrokerDefinition(Def("Real")));
    ASSERT_TRUE(reg::WriteText(TRegRoot::User, Product, "ClientDir", "/c"));
    EXPECT_FALSE(IsValidBrokerName("A\\B"));
    EXPECT_FALSE(IsValidBrokerName(""));
    EXPECT_TRUE(IsValidBrokerName(" spaced name "));
    EXPECT_FALSE(WriteBrokerDefinition(Def("A\\B")));
    EXPECT_FALSE(WriteBrokerDefinition(Def("")));
    EXPECT_FALSE(reg::KeyExists(TRegRoot::User, Product + "\\A"));
    // An empty name must not reach the product key itself.
    EXPECT_FALSE(DeleteBrokerDefinition(scUser, ""));
    EXPECT_FALSE(DeleteBrokerDefinition(scUser, "Real\\"));
    EXPECT_EQ(ListBrokerNames(scUser), std::vector<std::string>{"Real"});
    EXPECT_EQ(Text(TRegRoot::User, Product, "ClientDir"), "/c");
    EXPECT_EQ(Text(TRegRoot::User, Product, "HostName"), "<missing>");
    TBrokerOptions O;
    EXPECT_FALSE(ReadBrokerOptions(scUser, "Real\\..", O));
    // Names are kept exactly as typed: spaces and case.
    ASSERT_TRUE(WriteBrokerDefinition(Def(" spaced name ")));
    EXPECT_EQ(ListBrokerNames(scUser), (std::vector<std::string>{" spaced name ", "Real"}));
}

TEST_F(BrokerStoreTest, ScopeChangeWritesNewThenDeletesOld) {
    ASSERT_TRUE(WriteBrokerDefinition(Def("Mover")));
    TBrokerDefinition D = Def("Mover", scSystem);
    D.HostName = "moved";
    EXPECT_EQ(ChangeBrokerScope(D, scUser), TScopeChange::Moved);
    EXPECT_TRUE(ListBrokerNames(scUser).empty());
    EXPECT_EQ(ReadBrokerSummary(scSystem, "Mover").HostName, "moved");

    // The new scope cannot be written: nothing is deleted.
    std::ofstream(Store.Dir() + "/blocker") << "a file where a folder must be";
    wdx::testsupport::SetEnv("WDX_USER_STORE", Store.Dir() + "/blocker/user.sqlite");
    D.Scope = scUser;
    std::string Detail;
    EXPECT_EQ(ChangeBrokerScope(D, scSystem, &Detail), TScopeChange::WriteFailed);
    EXPECT_EQ(ListBrokerNames(scSystem), std::vector<std::string>{"Mover"});
    EXPECT_NE(Detail.find("nothing of the definition was written"), std::string::npos) << Detail;

    // The old key is already gone: the definition ends up in both scopes.
    wdx::testsupport::SetEnv("WDX_USER_STORE", Store.UserPath());
    ASSERT_TRUE(DeleteBrokerDefinition(scSystem, "Mover"));
    EXPECT_EQ(ChangeBrokerScope(D, scSystem, &Detail), TScopeChange::DeleteFailed);
    EXPECT_EQ(ListBrokerNames(scUser), std::vector<std::string>{"Mover"});
    EXPECT_NE(Detail.find("written under User, but under System it was no longer there"), std::string::npos)
        << Detail;
}

TEST_F(BrokerStoreTest, DamagedStoreReadsAsNothingAndRefusesWrites) {
    ASSERT_TRUE(WriteBrokerDefinition(Def("Safe", scSystem)));
    MakeUnreadable(TRegRoot::User);
    EXPECT_TRUE(ListBrokerNames(scUser).empty());
    EXPECT_EQ(ReadBrokerSummary(scUser, "Any").TimeOut, "0");
    TBrokerOptions O;
    EXPECT_FALSE(ReadBrokerOptions(scUser, "Any", O));
    EXPECT_FALSE(WriteBrokerDefinition(Def("New")));
    EXPECT_FALSE(DeleteBrokerDefinition(scUser, "Any"));
    // The other scope is its own file and works on.
    EXPECT_EQ(ListBrokerNames(scSystem), std::vector<std::string>{"Safe"});
}

TEST_F(BrokerStoreTest, ReadBrokerListGivesTheRowsOfNamesThenSummaries) {
    ASSERT_TRUE(WriteBrokerDefinition(Def("b")));
    ASSERT_TRUE(WriteBrokerDefinition(Def("A")));
    Raw("Bare", {{"TimeOut", ""}});
    for (TBrokerScope Scope : {scUser, scSystem}) {
        std::vector<TBrokerListEntry> List = ReadBrokerList(Scope);
        std::vector<std::string> Names = ListBrokerNames(Scope);
        ASSERT_EQ(List.size(), Names.size());
        for (size_t I = 0; I < Names.size(); ++I) {
            TBrokerSummary S = ReadBrokerSummary(Scope, Names[I]);
            EXPECT_EQ(List[I].Name, Names[I]);
            EXPECT_EQ(List[I].Summary.HostName, S.HostName);
            EXPECT_EQ(List[I].Summary.Port, S.Port);
            EXPECT_EQ(List[I].Summary.TimeOut, S.TimeOut);
        }
    }
    EXPECT_EQ(ReadBrokerList(scUser).at(2).Name, "Bare");
    EXPECT_EQ(ReadBrokerList(scUser).at(2).Summary.TimeOut, "0");
}

TEST_F(BrokerStoreTest, ScopesMapToTheirRootsAndNames) {
    EXPECT_EQ(RootOf(scUser), TRegRoot::User);
    EXPECT_EQ(RootOf(scSystem), TRegRoot::System);
    EXPECT_STREQ(ScopeName(scUser), "User");
    EXPECT_STREQ(ScopeName(scSystem), "System");
}

TEST_F(BrokerStoreTest, ClientDirIsReadFromTheSystemProductKeyOnly) {
    EXPECT_EQ(ReadClientDir(), "");
    ASSERT_TRUE(reg::WriteText(TRegRoot::User, Product, ClientDirValue, "/home/not/this"));
    EXPECT_EQ(ReadClientDir(), "");
    ASSERT_TRUE(reg::WriteInt32(TRegRoot::System, Product, ClientDirValue, 5));
    EXPECT_EQ(ReadClientDir(), ""); // not text
    ASSERT_TRUE(reg::WriteText(TRegRoot::System, Product, ClientDirValue, "/opt/Client Dir/ü"));
    EXPECT_EQ(ReadClientDir(), "/opt/Client Dir/ü");
    reg::ReleaseCachedConnections();
    MakeUnreadable(TRegRoot::System, 8192);
    EXPECT_EQ(ReadClientDir(), ""); // a damaged store holds none
}

TEST_F(BrokerStoreTest, PoolingAloneSurvivesAnUnreadableLogLevel) {
    Raw("Odd", {{"ConnectionPooling", "Y"}, {"LogLevel", "abc"}});
    TBrokerOptions O;
    EXPECT_THROW(ReadBrokerOptions(scUser, "odd", O), EBrokerStoreError);
    EXPECT_TRUE(ReadBrokerPooling(scUser, "odd"));
    Raw("Lower", {{"ConnectionPooling", "y"}});
    EXPECT_FALSE(ReadBrokerPooling(scUser, "Lower"));
    EXPECT_FALSE(ReadBrokerPooling(scUser, "Missing"));
    EXPECT_FALSE(ReadBrokerPooling(scSystem, "Odd"));
}

TEST_F(BrokerStoreTest, LocateLooksAtUserFirstThenSystemAndTellsWhatCouldNotBeRead) {
    ASSERT_TRUE(WriteBrokerDefinition(Def("Both", scSystem)));
    ASSERT_TRUE(WriteBrokerDefinition(Def("both", scUser)));
    ASSERT_TRUE(WriteBrokerDefinition(Def("Machine", scSystem)));
    TBrokerLocation L = LocateBroker("BOTH");
    EXPECT_TRUE(L.Found);
    EXPECT_EQ(L.Scope, scUser);
    L = LocateBroker("machine");
    EXPECT_TRUE(L.Found);
    EXPECT_EQ(L.Scope, scSystem);
    L = LocateBroker("Nobody");
    EXPECT_FALSE(L.Found);
    EXPECT_EQ(L.Problem, "");
    EXPECT_FALSE(LocateBroker("a\\b").Found);
    EXPECT_FALSE(LocateBroker("").Found);

    // A damaged User store hides nothing of System, but is named.
    MakeUnreadable(TRegRoot::User);
    L = LocateBroker("Machine");
    EXPECT_TRUE(L.Found);
    EXPECT_EQ(L.Scope, scSystem);
    EXPECT_EQ(ScopeReadProblem(scSystem), "");
    EXPECT_EQ(
        ScopeReadProblem(scUser).rfind("the User settings (" + Store.UserPath() + ") cannot be read: ", 0),
        0u);
    L = LocateBroker("Nobody");
    EXPECT_FALSE(L.Found);
    EXPECT_EQ(L.Problem.rfind("the User settings (" + Store.UserPath() + ") cannot be read: ", 0), 0u)
        << L.Problem;
}

TEST_F(BrokerStoreTest, ClientDefinitionsAreListedAsClientSoftwareSeesThem) {
    ASSERT_TRUE(WriteBrokerDefinition(Def("Büro", scSystem)));
    ASSERT_TRUE(WriteBrokerDefinition(Def("Plant", scSystem)));
    ASSERT_TRUE(WriteBrokerDefinition(Def("bÜRO", scUser)));
    Raw("Bare", {});
    auto Rows = [] {
        TClientDefinitions All = ListClientDefinitions();
        std::vector<std::string> Out;
        for (const TClientDefinition& D : All.Definitions)
            Out.push_back(D.Name + "|" + ScopeName(D.Scope) + "|" + D.Summary.HostName + "|" +
                          D.Summary.Port + "|" + D.Summary.TimeOut + "|" + (D.Used ? "used" : "hidden"));
        return std::make_pair(Out, All);
    };
    auto [Seen, All] = Rows();
    // User first; the System "Büro" is hidden by the User "bÜRO" (the store's
    // comparison, beyond ASCII), "Plant" is not.
    EXPECT_EQ(Seen,
              (std::vector<std::string>{"Bare|User|||0|used", "bÜRO|User|host.example.net|07563|30|used",
                                        "Büro|System|host.example.net|07563|30|hidden",
                                        "Plant|System|host.example.net|07563|30|used"}));
    EXPECT_EQ(All.Problems[scUser], "");
    EXPECT_EQ(All.Problems[scSystem], "");
    // As LocateBroker finds them.
    for (const TClientDefinition& D : All.Definitions)
        EXPECT_EQ(LocateBroker(D.Name).Scope == D.Scope, D.Used) << D.Name;

    // A User store that cannot be read hides nothing and is named.
    MakeUnreadable(TRegRoot::User);
    std::tie(Seen, All) = Rows();
    EXPECT_EQ(Seen, (std::vector<std::string>{"Büro|System|host.example.net|07563|30|used",
                                              "Plant|System|host.example.net|07563|30|used"}));
    EXPECT_EQ(All.Problems[scUser].rfind("the User settings (" + Store.UserPath() + ") cannot be read: ", 0),
              0u);
    EXPECT_EQ(All.Problems[scSystem], "");
}

TEST_F(BrokerStoreTest, NamesCompareAsTheStoreComparesKeys) {
    EXPECT_TRUE(SameBrokerName("Alpha", "aLPHA"));
    EXPECT_TRUE(SameBrokerName("Büro", "BÜRO"));
    EXPECT_FALSE(SameBrokerName("Alpha", "Alpha "));
    EXPECT_FALSE(SameBrokerName("Alpha", "Alpha2"));
    EXPECT_EQ(BrokerNameKey("Büro"), BrokerNameKey("bÜRO"));
    EXPECT_NE(BrokerNameKey("Büro"), BrokerNameKey("Buro"));
    // Invalid UTF-8 compares byte for byte.
    EXPECT_TRUE(SameBrokerName("a\xff", "a\xff"));
    EXPECT_FALSE(SameBrokerName("a\xff", "A\xff"));
    // What the store takes for one key, the comparison does too.
    ASSERT_TRUE(WriteBrokerDefinition(Def("Büro")));
    ASSERT_TRUE(WriteBrokerDefinition(Def("BÜRO")));
    EXPECT_EQ(ListBrokerNames(scUser), std::vector<std::string>{"Büro"});
}
