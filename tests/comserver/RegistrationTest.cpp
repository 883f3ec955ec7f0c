// regsvr32's two calls: what DllRegisterServer writes, that DllUnregisterServer
// takes away only that, that another server's class is left to it, and that
// a registry that refuses is reported and what was written is taken back. HKEY_LOCAL_MACHINE is redirected to
// a key of the test's own for the process while a test runs, so the machine's registration (the one the other
// tests use) is never touched.

#include "ServerDll.h"

#include "monitorapi/MonitorIntf.h"

#include <sddl.h>

#include <gtest/gtest.h>

using namespace wdx::monitor;
using namespace wdx::testing;

namespace {

// HKEY_LOCAL_MACHINE of this process is a fresh key below the user's
// HKEY_CURRENT_USER\Software\WDX-Tests while it lives.
class TRedirectedMachine {
public:
    TRedirectedMachine() {
        std::random_device Random;
        FKey = L"Software\\WDX-Tests\\machine-" + std::to_wstring(Random() % 1000000000u);
        if (RegCreateKeyExW(HKEY_CURRENT_USER, FKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &FRoot,
                            nullptr) != ERROR_SUCCESS)
            throw std::runtime_error("cannot create the test's machine key");
        if (LSTATUS S = RegOverridePredefKey(HKEY_LOCAL_MACHINE, FRoot); S != ERROR_SUCCESS) {
            Clean();
            throw std::runtime_error("HKEY_LOCAL_MACHINE cannot be redirected (error " + std::to_string(S) +
                                     ")");
        }
    }
    ~TRedirectedMachine() {
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        Clean();
    }
    TRedirectedMachine(const TRedirectedMachine&) = delete;
    TRedirectedMachine& operator=(const TRedirectedMachine&) = delete;

    HKEY Root() const { return FRoot; }

    // Creates Key (below the redirected root) with a text value.
    void Put(const std::wstring& Key, const wchar_t* Name, const std::wstring& Text) {
        HKEY H = nullptr;
        ASSERT_EQ(RegCreateKeyExW(FRoot, Key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &H, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExW(H, Name, 0, REG_SZ, reinterpret_cast<const BYTE*>(Text.c_str()),
                                 DWORD((Text.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
        RegCloseKey(H);
    }

private:
    void Clean() {
        if (FRoot)
            RegCloseKey(FRoot);
        RegDeleteTreeW(HKEY_CURRENT_USER, FKey.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\WDX-Tests"); // only when no other test's keys are left
    }

    std::wstring FKey;
    HKEY FRoot = nullptr;
};

const CLSID Served[] = {CLSID_OmniRelay, CLSID_Monitor};

} // namespace

TEST(ServerRegistration, WritesBothClassesForThisDllAndTakesAwayOnlyWhatItWrote) {
    TRedirectedMachine Machine;
    TServerDll Dll;
    // Something of another's under the monitor server's key, before and after.
    Machine.Put(ClassKey(CLSID_Monitor) + L"\\ProgID", nullptr, L"Someone.Else");

    ASSERT_EQ(Dll.RegisterServer(), S_OK);
    for (REFCLSID Class : Served) {
        const std::wstring Server = ClassKey(Class) + L"\\InprocServer32";
        EXPECT_EQ(RegText(Machine.Root(), Server, nullptr), Dll.LoadedPath()) << GUIDText(Class);
        EXPECT_EQ(RegText(Machine.Root(), Server, L"ThreadingModel"), L"Apartment") << GUIDText(Class);
        EXPECT_TRUE(RegText(Machine.Root(), ClassKey(Class), nullptr)) << "the class has a name";
    }
    // Again: the same registration, no failure.
    ASSERT_EQ(Dll.RegisterServer(), S_OK);

    ASSERT_EQ(Dll.UnregisterServer(), S_OK);
    EXPECT_FALSE(RegKeyExists(Machine.Root(), ClassKey(CLSID_OmniRelay)));
    EXPECT_FALSE(RegKeyExists(Machine.Root(), ClassKey(CLSID_Monitor) + L"\\InprocServer32"));
    EXPECT_FALSE(RegText(Machine.Root(), ClassKey(CLSID_Monitor), nullptr)) << "its name is gone";
    EXPECT_EQ(RegText(Machine.Root(), ClassKey(CLSID_Monitor) + L"\\ProgID", nullptr), L"Someone.Else");
    // Nothing left to take away is no failure.
    EXPECT_EQ(Dll.UnregisterServer(), S_OK);
}

TEST(ServerRegistration, AClassAnotherServerHoldsIsLeftToIt) {
    TRedirectedMachine Machine;
    TServerDll Dll;
    const std::wstring Relay = ClassKey(CLSID_OmniRelay) + L"\\InprocServer32";
    Machine.Put(Relay, nullptr, L"C:\\Program Files\\Relay\\relay.dll");
    Machine.Put(Relay, L"ThreadingModel", L"Both");
    // This DLL's own registration from another folder is replaced, not kept.
    Machine.Put(ClassKey(CLSID_Monitor) + L"\\InprocServer32", nullptr, L"D:\\old\\wdxstatshost.DLL");

    ASSERT_EQ(Dll.RegisterServer(), S_OK);
    EXPECT_EQ(RegText(Machine.Root(), Relay, nullptr), L"C:\\Program Files\\Relay\\relay.dll");
    EXPECT_EQ(RegText(Machine.Root(), Relay, L"ThreadingModel"), L"Both");
    EXPECT_EQ(RegText(Machine.Root(), ClassKey(CLSID_Monitor) + L"\\InprocServer32", nullptr),
              Dll.LoadedPath());

    ASSERT_EQ(Dll.UnregisterServer(), S_OK);
    EXPECT_EQ(RegText(Machine.Root(), Relay, nullptr), L"C:\\Program Files\\Relay\\relay.dll");
    EXPECT_EQ(RegText(Machine.Root(), Relay, L"ThreadingModel"), L"Both");
    EXPECT_FALSE(RegKeyExists(Machine.Root(), ClassKey(CLSID_Monitor)));
}

TEST(ServerRegistration, ARefusingRegistryIsItsErrorAndTheRestIsTakenBack) {
    TRedirectedMachine Machine;
    TServerDll Dll;
    // The monitor server's key (the second class) readable by everyone and
    // writable by no one; the handle that changes it keeps the right to
    // change it back. (The key's own list, not its parent's: Wine checks
    // only the key opened.)
    Machine.Put(ClassKey(CLSID_Monitor), L"Keep", L"x");
    HKEY Monitor = nullptr;
    ASSERT_EQ(
        RegOpenKeyExW(Machine.Root(), ClassKey(CLSID_Monitor).c_str(), 0, WRITE_DAC | READ_CONTROL, &Monitor),
        ERROR_SUCCESS);
    auto Restrict = [&](const wchar_t* Sddl) {
        PSECURITY_DESCRIPTOR Descriptor = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(Sddl, SDDL_REVISION_1, &Descriptor,
                                                                         nullptr));
        EXPECT_EQ(RegSetKeySecurity(Monitor, DACL_SECURITY_INFORMATION, Descriptor), ERROR_SUCCESS);
        LocalFree(Descriptor);
    };
    Restrict(L"D:P(A;;KR;;;WD)");

    EXPECT_EQ(Dll.RegisterServer(), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(RegKeyExists(Machine.Root(), ClassKey(CLSID_OmniRelay)))
        << "the relay's registration is taken back";
    EXPECT_FALSE(RegKeyExists(Machine.Root(), ClassKey(CLSID_Monitor) + L"\\InprocServer32"));

    Restrict(L"D:(A;;KA;;;WD)"); // so that the test's keys can go
    RegCloseKey(Monitor);
}
