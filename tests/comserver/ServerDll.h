#pragma once
// WDXStatsHost.dll for the server's tests: the copy beside the test program,
// loaded into the test's process with its four entry points, and the
// registry places its registration is read from.

#include "monitorapi/ComSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <random>
#include <stdexcept>
#include <string>

namespace wdx::testing {

class TServerDll {
public:
    using TGetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using TCall = HRESULT(STDAPICALLTYPE*)();

    TServerDll() {
        FPath = BesideThisProgram(L"WDXStatsHost.dll");
        FModule = LoadLibraryW(FPath.c_str());
        if (!FModule)
            throw std::runtime_error("WDXStatsHost.dll does not load (error " +
                                     std::to_string(GetLastError()) + ")");
        GetClassObject = Entry<TGetClassObject>("DllGetClassObject");
        CanUnloadNow = Entry<TCall>("DllCanUnloadNow");
        RegisterServer = Entry<TCall>("DllRegisterServer");
        UnregisterServer = Entry<TCall>("DllUnregisterServer");
    }
    // Unloaded only when it says it may be: a test that left an object alive
    // fails here instead of crashing later.
    ~TServerDll() {
        if (CanUnloadNow() == S_OK)
            FreeLibrary(FModule);
        else
            ADD_FAILURE() << "WDXStatsHost.dll is still in use at the end of the test";
    }
    TServerDll(const TServerDll&) = delete;
    TServerDll& operator=(const TServerDll&) = delete;

    // The path the DLL is loaded from, as the system names it.
    std::wstring LoadedPath() const {
        wchar_t Buffer[32768];
        const DWORD Length = GetModuleFileNameW(FModule, Buffer, DWORD(std::size(Buffer)));
        return std::wstring(Buffer, Length);
    }

    TGetClassObject GetClassObject = nullptr;
    TCall CanUnloadNow = nullptr;
    TCall RegisterServer = nullptr;
    TCall UnregisterServer = nullptr;

private:
    static std::wstring BesideThisProgram(const wchar_t* Name) {
        wchar_t Buffer[32768];
        std::wstring Own(Buffer, GetModuleFileNameW(nullptr, Buffer, DWORD(std::size(Buffer))));
        return Own.substr(0, Own.find_last_of(L"\\/") + 1) + Name;
    }
    template <class T> T Entry(const char* Name) {
        FARPROC P = GetProcAddress(FModule, Name);
        if (!P)
            throw std::runtime_error(std::string("WDXStatsHost.dll does not export ") + Name);
        return reinterpret_cast<T>(reinterpret_cast<void*>(P));
    }

    std::wstring FPath;
    HMODULE FModule = nullptr;
};

// A text value of the registry; nullopt when it is not there.
inline std::optional<std::wstring> RegText(HKEY Root, const std::wstring& Key, const wchar_t* Name) {
    wchar_t Buffer[4096];
    DWORD Bytes = sizeof Buffer;
    if (RegGetValueW(Root, Key.c_str(), Name, RRF_RT_REG_SZ, nullptr, Buffer, &Bytes) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(Buffer);
}

inline bool RegKeyExists(HKEY Root, const std::wstring& Key) {
    HKEY H = nullptr;
    if (RegOpenKeyExW(Root, Key.c_str(), 0, KEY_READ, &H) != ERROR_SUCCESS)
        return false;
    RegCloseKey(H);
    return true;
}

inline std::wstring ClassKey(REFCLSID Class) {
    const std::string Id = monitor::GUIDText(Class);
    return L"Software\\Classes\\CLSID\\" + std::wstring(Id.begin(), Id.end());
}

} // namespace wdx::testing
