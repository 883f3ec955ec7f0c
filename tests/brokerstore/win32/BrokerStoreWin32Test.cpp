// A definition write that the registry refuses part way: the registry has no
// transactions, so what was written stays, and Detail must say what.

#include "brokerstore/BrokerStore.h"
#include "support/TempStore.h"
#include "unicode/Utf.h"

#include <windows.h>

#include <gtest/gtest.h>
#include <sddl.h>

using namespace wdx::brokerstore;
using wdx::testsupport::TTempStore;

namespace {

// Sets the access control list of the key at a test store's Path.
LONG SetDacl(const std::string& Path, const wchar_t* Sddl) {
    std::u16string Sub = wdx::unicode::Utf8ToUtf16(Path.substr(std::string("HKEY_CURRENT_USER\\").size()));
    HKEY Key = nullptr;
    LONG Rc = RegOpenKeyExW(HKEY_CURRENT_USER, reinterpret_cast<const wchar_t*>(Sub.c_str()), 0,
                            WRITE_DAC | KEY_WOW64_32KEY, &Key);
    if (Rc != ERROR_SUCCESS)
        return Rc;
    PSECURITY_DESCRIPTOR Sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(Sddl, SDDL_REVISION_1, &Sd, nullptr))
        Rc = static_cast<LONG>(GetLastError());
    else
        Rc = RegSetKeySecurity(Key, DACL_SECURITY_INFORMATION, Sd);
    LocalFree(Sd);
    RegCloseKey(Key);
    return Rc;
}

TBrokerDefinition Def(const std::string& Name, TBrokerScope Scope) {
    TBrokerDefinition D;
    D.Name = Name;
    D.Scope = Scope;
    D.HostName = "host";
    D.Port = "7563";
    D.TimeOut = "30";
    return D;
}

} // namespace

// A broker key whose access control list lets everyone read it and nobody
// change it: writing it, and a scope move to or from it, change nothing but
// what the caller is told was changed.
TEST(BrokerStoreWin32Test, RefusedWritesSayWhatWasWrittenAndWhatNot) {
    TTempStore Store;
    TBrokerDefinition Locked = Def("Locked", scUser);
    ASSERT_TRUE(WriteBrokerDefinition(Locked));
    ASSERT_TRUE(WriteBrokerDefinition(Def("Locked", scSystem)));
    const std::string Key = Store.UserPath() + "\\" + ProductKey + "\\Locked";
    ASSERT_EQ(SetDacl(Key, L"D:P(A;;KR;;;WD)"), ERROR_SUCCESS);

    Locked.HostName = "changed";
    std::string Detail;
    EXPECT_FALSE(WriteBrokerDefinition(Locked, &Detail));
    EXPECT_NE(Detail.find("Access denied"), std::string::npos) << Detail;
    EXPECT_NE(Detail.find("nothing of the definition was written"), std::string::npos) << Detail;
    EXPECT_EQ(ReadBrokerSummary(scUser, "Locked").HostName, "host");

    // System to User: the write under User is refused, System keeps its own.
    EXPECT_EQ(ChangeBrokerScope(Locked, scSystem, &Detail), TScopeChange::WriteFailed);
    EXPECT_NE(Detail.find("nothing of the definition was written"), std::string::npos) << Detail;
    EXPECT_EQ(ListBrokerNames(scSystem), std::vector<std::string>{"Locked"});

    // User to System: written under System, but the User key cannot go.
    TBrokerDefinition ToSystem = Def("Locked", scSystem);
    ToSystem.HostName = "moved";
    EXPECT_EQ(ChangeBrokerScope(ToSystem, scUser, &Detail), TScopeChange::DeleteFailed);
    EXPECT_NE(Detail.find("Access denied"), std::string::npos) << Detail;
    EXPECT_NE(
        Detail.find("written under System, and the one under User could not be removed: it is under both"),
        std::string::npos)
        << Detail;
    EXPECT_EQ(ReadBrokerSummary(scSystem, "Locked").HostName, "moved");
    EXPECT_EQ(ReadBrokerSummary(scUser, "Locked").HostName, "host");

    EXPECT_EQ(SetDacl(Key, L"D:(A;;KA;;;WD)"), ERROR_SUCCESS); // so that the test store can go
}
