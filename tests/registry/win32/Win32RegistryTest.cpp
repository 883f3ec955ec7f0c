// The Windows back-end against the registry itself: what the contract suite
// cannot see from inside the store.

#include "registry/Registry.h"
#include "support/TempStore.h"
#include "unicode/Utf.h"

#include <windows.h>

#include <gtest/gtest.h>
#include <sddl.h>

#include <string>

using namespace wdx::registry;
using wdx::testsupport::TTempStore;

namespace {

std::wstring Wide(const std::string& Utf8) {
    std::u16string U = wdx::unicode::Utf8ToUtf16(Utf8);
    return std::wstring(U.begin(), U.end());
}

// The key at a test store's Path below HKEY_CURRENT_USER, opened directly.
class TRawKey {
public:
    TRawKey(const std::string& Path, REGSAM Access) {
        const std::string Prefix = "HKEY_CURRENT_USER\\";
        Rc = RegCreateKeyExW(HKEY_CURRENT_USER, Wide(Path.substr(Prefix.size())).c_str(), 0, nullptr, 0,
                             Access | KEY_WOW64_32KEY, nullptr, &H, nullptr);
    }
    ~TRawKey() {
        if (H)
            RegCloseKey(H);
    }
    TRawKey(const TRawKey&) = delete;
    TRawKey& operator=(const TRawKey&) = delete;
    HKEY H = nullptr;
    LONG Rc;
};

// Sets the key's access control list from its text form.
LONG SetDacl(HKEY Key, const wchar_t* Sddl) {
    PSECURITY_DESCRIPTOR Sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(Sddl, SDDL_REVISION_1, &Sd, nullptr))
        return static_cast<LONG>(GetLastError());
    LONG Rc = RegSetKeySecurity(Key, DACL_SECURITY_INFORMATION, Sd);
    LocalFree(Sd);
    return Rc;
}

class Win32RegistryTest : public ::testing::Test {
protected:
    TTempStore Store;
};

} // namespace

// A key whose access control list lets everyone read it and nobody change
// it: every kind of write is refused as AccessDenied, and nothing changes.
TEST_F(Win32RegistryTest, KeyThatDeniesWritesIsAccessDeniedAndNothingIsWritten) {
    ASSERT_TRUE(WriteText(TRegRoot::User, "Locked\\Below", "V", "before"));
    const std::string Locked = Store.UserPath() + "\\Locked";
    {
        TRawKey Key(Locked, WRITE_DAC);
        ASSERT_EQ(Key.Rc, ERROR_SUCCESS);
        // Protected (P): nothing inherited; key read (KR) for everyone (WD).
        ASSERT_EQ(SetDacl(Key.H, L"D:P(A;;KR;;;WD)"), ERROR_SUCCESS);
    }
    TRegError Err = TRegError::None;
    EXPECT_FALSE(WriteText(TRegRoot::User, "Locked", "V", "after", &Err));
    EXPECT_EQ(Err, TRegError::AccessDenied) << ErrorName(Err);
    EXPECT_FALSE(WriteText(TRegRoot::User, "Locked\\New", "V", "x", &Err));
    EXPECT_EQ(Err, TRegError::AccessDenied) << ErrorName(Err);
    EXPECT_FALSE(DeleteKey(TRegRoot::User, "Locked", &Err));
    EXPECT_EQ(Err, TRegError::AccessDenied) << ErrorName(Err);
    {
        // Opened in a write transaction, it can still be read; its writes fail.
        TRegTransaction Tx(TRegRoot::User, TRegAccess::Write);
        TRegKey Key;
        ASSERT_TRUE(Tx.OpenKey("Locked", Key)) << Tx.ErrorText();
        std::vector<std::string> Names;
        ASSERT_TRUE(Key.SubKeyNames(Names));
        EXPECT_EQ(Names, std::vector<std::string>{"Below"});
        EXPECT_FALSE(Key.WriteText("V", "after"));
        EXPECT_EQ(Tx.Error(), TRegError::AccessDenied);
        EXPECT_NE(Tx.ErrorText().find("\\Locked"), std::string::npos) << Tx.ErrorText();
    }
    std::string Text;
    EXPECT_FALSE(ReadText(TRegRoot::User, "Locked", "V", Text));
    EXPECT_FALSE(KeyExists(TRegRoot::User, "Locked\\New"));
    ASSERT_TRUE(ReadText(TRegRoot::User, "Locked\\Below", "V", Text));
    EXPECT_EQ(Text, "before");

    TRawKey Key(Locked, WRITE_DAC); // the owner may always change the list
    ASSERT_EQ(Key.Rc, ERROR_SUCCESS);
    EXPECT_EQ(SetDacl(Key.H, L"D:(A;;KA;;;WD)"), ERROR_SUCCESS);
}

// Names and texts reach the registry as exactly the UTF-16 they stand for,
// whatever the system code page, and come back as the same UTF-8.
TEST_F(Win32RegistryTest, TextsCrossAsExactUtf16BothWays) {
    const std::string Name = "Σίσυφος \xF0\x9F\x98\x80 中文"; // Greek, an emoji, Chinese
    const std::string Value = "Ärger ß \xF0\x90\x90\x80 ok";  // and one beyond U+FFFF
    ASSERT_TRUE(WriteText(TRegRoot::User, Name, Name, Value));
    {
        TRawKey Key(Store.UserPath() + "\\" + Name, KEY_READ | KEY_SET_VALUE);
        ASSERT_EQ(Key.Rc, ERROR_SUCCESS); // found under its UTF-16 name
        wchar_t Data[64] = {};
        DWORD Size = sizeof(Data), Kind = 0;
        ASSERT_EQ(
            RegQueryValueExW(Key.H, Wide(Name).c_str(), nullptr, &Kind, reinterpret_cast<BYTE*>(Data), &Size),
            ERROR_SUCCESS);
        EXPECT_EQ(Kind, static_cast<DWORD>(REG_SZ));
        std::wstring Expected = Wide(Value);
        EXPECT_EQ(Size, (Expected.size() + 1) * sizeof(wchar_t)); // with its end
        EXPECT_EQ(std::wstring(Data), Expected);

        const std::wstring Raw = L"\u00e9t\u00e9 \u4e2d \U0001F600";
        ASSERT_EQ(RegSetValueExW(Key.H, L"Raw\u00e9", 0, REG_SZ, reinterpret_cast<const BYTE*>(Raw.c_str()),
                                 static_cast<DWORD>((Raw.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }
    std::string Text;
    ASSERT_TRUE(ReadText(TRegRoot::User, Name, "RAWÉ", Text)); // folded by the registry
    EXPECT_EQ(Text, "été 中 \xF0\x9F\x98\x80");
    std::vector<std::string> Names;
    ASSERT_TRUE(ListSubKeys(TRegRoot::User, "", Names));
    EXPECT_EQ(Names, std::vector<std::string>{Name});
}

TEST_F(Win32RegistryTest, RootsAreTheTwoHivesAndAPlaceMustBeOneOfTheirKeys) {
    EXPECT_EQ(DefaultStorePath(TRegRoot::User), "HKEY_CURRENT_USER");
    EXPECT_EQ(DefaultStorePath(TRegRoot::System), "HKEY_LOCAL_MACHINE");
    EXPECT_EQ(StorePath(TRegRoot::User), Store.UserPath());

    // The short spelling names the same key.
    ASSERT_TRUE(WriteText(TRegRoot::User, "K", "V", "1"));
    TTempStore::UsePath(TRegRoot::User,
                        "hkcu" + Store.UserPath().substr(std::string("HKEY_CURRENT_USER").size()));
    std::string Text;
    EXPECT_TRUE(ReadText(TRegRoot::User, "K", "V", Text));

    for (const char* Bad : {"C:\\store.sqlite", "HKEY_CLASSES_ROOT\\X", "HKCU\\A\\\\B"}) {
        TTempStore::UsePath(TRegRoot::User, Bad);
        TRegTransaction Tx(TRegRoot::User, TRegAccess::Write);
        EXPECT_FALSE(Tx.Ok()) << Bad;
        EXPECT_EQ(Tx.Error(), TRegError::InvalidName) << Bad;
        EXPECT_NE(Tx.ErrorText().find(Bad), std::string::npos) << Tx.ErrorText();
    }
}
