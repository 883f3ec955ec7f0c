// What the start-up check for 8.3 short names reads, on the store of the
// build: the SQLite System store on Linux, the registry on Windows (where a
// last test reads the machine's own setting under HKEY_LOCAL_MACHINE).

#include "brokerstore/ShortNames.h"
#include "brokerstore/BrokerStore.h"
#include "registry/Registry.h"
#include "support/TempStore.h"

#include <gtest/gtest.h>

#include <variant>

#ifdef _WIN32
#include <windows.h>
#endif

using namespace wdx::brokerstore;
using wdx::registry::TRegRoot;
using wdx::testsupport::TTempStore;

namespace {
struct TAbsent {};
using TStoredValue = std::variant<TAbsent, std::string, std::int32_t>;

void Put(TRegRoot Root, const char* Key, const char* Name, const TStoredValue& Value) {
    if (auto* Text = std::get_if<std::string>(&Value)) {
        ASSERT_TRUE(wdx::registry::WriteText(Root, Key, Name, *Text));
    } else if (auto* Number = std::get_if<std::int32_t>(&Value)) {
        ASSERT_TRUE(wdx::registry::WriteInt32(Root, Key, Name, *Number));
    }
}

struct TCase {
    bool ProductKey;
    TStoredValue OptOut;
    bool SettingKey;
    TStoredValue Setting;
    bool Warns;
};
} // namespace

TEST(ShortNames, OptOutAndSettingDecideTheWarning) {
    const std::string One = "1";
    const TCase Cases[] = {
        {false, TAbsent{}, true, 1, false}, // no product key: nothing is checked
        {true, TAbsent{}, true, 1, true},
        {true, One, true, 1, false},
        {true, std::string("0"), true, 1, true},
        {true, std::string("yes"), true, 1, true},
        {true, std::string(""), true, 1, true},
        {true, std::string(" 1"), true, 1, true},
        {true, 1, true, 1, true}, // the opt-out stored as an integer does not count
        {true, TAbsent{}, true, 0, false},
        {true, TAbsent{}, true, 2, false},
        {true, TAbsent{}, true, -1, false},
        {true, TAbsent{}, true, TAbsent{}, false},
        {true, TAbsent{}, false, TAbsent{}, false},
        {true, TAbsent{}, true, One, false}, // the setting stored as text counts as 0
    };
    int Index = 0;
    for (const TCase& C : Cases) {
        TTempStore Store;
        if (C.ProductKey)
            Put(TRegRoot::System, ProductKey, ClientDirValue, std::string("C:\\Client"));
        Put(TRegRoot::System, ProductKey, ShortNameOptOutValue, C.OptOut);
        if (C.SettingKey)
            Put(TRegRoot::System, FileSystemKey, "Other", std::int32_t(0));
        Put(TRegRoot::System, FileSystemKey, NameCreationValue, C.Setting);
        // Only the System root counts: the same values for the user change nothing.
        Put(TRegRoot::User, ProductKey, ShortNameOptOutValue, std::string("1"));
        Put(TRegRoot::User, FileSystemKey, NameCreationValue, std::int32_t(1));
        EXPECT_EQ(ShortNameCheckWanted() && ShortNamesDisabled(NameCreationSetting()), C.Warns)
            << "case " << Index;
        EXPECT_EQ(NameCreationSetting().has_value(), C.SettingKey) << "case " << Index;
        ++Index;
    }
}

#ifdef _WIN32
// The System root at its own place, HKEY_LOCAL_MACHINE: the machine's own
// setting is read, and what the test sets there is put back.
TEST(ShortNames, TheMachineSettingIsReadFromTheRegistry) {
    TTempStore Store;
    TTempStore::UsePath(TRegRoot::System, ""); // the default place
    const wchar_t* Key = L"SYSTEM\\CurrentControlSet\\Control\\FileSystem";
    const wchar_t* Name = L"NtfsDisable8dot3NameCreation";
    HKEY H = nullptr;
    LONG Rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, Key, 0, nullptr, 0, KEY_READ | KEY_SET_VALUE, nullptr, &H,
                              nullptr);
    if (Rc == ERROR_ACCESS_DENIED)
        GTEST_SKIP() << "this user may not change HKEY_LOCAL_MACHINE\\SYSTEM (Windows without elevation)";
    ASSERT_EQ(Rc, ERROR_SUCCESS);
    DWORD Kind = 0, Saved = 0, Size = sizeof Saved;
    const bool HadValue =
        RegQueryValueExW(H, Name, nullptr, &Kind, reinterpret_cast<BYTE*>(&Saved), &Size) == ERROR_SUCCESS &&
        Kind == REG_DWORD;
    auto Set = [&](DWORD Value) {
        return RegSetValueExW(H, Name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&Value), sizeof Value);
    };
    for (DWORD Value : {1u, 0u, 2u}) {
        ASSERT_EQ(Set(Value), ERROR_SUCCESS);
        EXPECT_EQ(NameCreationSetting(), std::optional<std::int32_t>(static_cast<std::int32_t>(Value)));
    }
    const wchar_t Text[] = L"1";
    ASSERT_EQ(RegSetValueExW(H, Name, 0, REG_SZ, reinterpret_cast<const BYTE*>(Text), sizeof Text),
              ERROR_SUCCESS);
    EXPECT_EQ(NameCreationSetting(), std::optional<std::int32_t>(0)); // not an integer: 0
    ASSERT_EQ(RegDeleteValueW(H, Name), ERROR_SUCCESS);
    EXPECT_EQ(NameCreationSetting(), std::optional<std::int32_t>(0)); // missing: 0
    if (HadValue)
        Set(Saved);
    RegCloseKey(H);
}
#endif
