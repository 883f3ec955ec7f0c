#include "monitorapi/ComFactory.h"

#include "monitorapi/WideText.h"

#include <map>
#include <mutex>

namespace wdx::monitor {

namespace {
std::mutex TableLock;

std::map<CLSID, TClassFactory, TGUIDLess>& ClassTable() {
    static std::map<CLSID, TClassFactory, TGUIDLess> table;
    return table;
}

TClassFactory FindClass(REFCLSID Class) {
    std::lock_guard lock(TableLock);
    auto it = ClassTable().find(Class);
    return it == ClassTable().end() ? TClassFactory{} : it->second;
}
} // namespace

void RegisterComClass(REFCLSID Class, TClassFactory Factory) {
    TClassFactory replaced; // destroyed outside the lock
    std::lock_guard lock(TableLock);
    auto it = ClassTable().find(Class);
    if (it != ClassTable().end()) {
        replaced = std::move(it->second);
        if (Factory)
            it->second = std::move(Factory);
        else
            ClassTable().erase(it);
    } else if (Factory) {
        ClassTable().emplace(Class, std::move(Factory));
    }
}

bool IsClassRegistered(REFCLSID Class) {
    std::lock_guard lock(TableLock);
    return ClassTable().count(Class) != 0;
}

#if defined(_WIN32)
namespace {
// Whether the class is registered to run in a server process of its own (its
// LocalServer32, or an AppID that names a surrogate or a service). Asking
// COM for a local server of a class without either is answered only after a
// wait under Wine.
bool MayHaveLocalServer(REFCLSID Class) {
    const std::string Id = GUIDText(Class);
    const std::wstring Key = L"CLSID\\" + std::wstring(Id.begin(), Id.end());
    HKEY Found = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, (Key + L"\\LocalServer32").c_str(), 0, KEY_READ, &Found) ==
        ERROR_SUCCESS) {
        RegCloseKey(Found);
        return true;
    }
    return RegGetValueW(HKEY_CLASSES_ROOT, Key.c_str(), L"AppID", RRF_RT_REG_SZ, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}
} // namespace
#endif

HRESULT GetComClass(REFCLSID Class, TComClass& Out) {
    Out = TComClass();
    Out.FClass = Class;
    // A copy: the factory may change the table while it runs.
    Out.FFactory = FindClass(Class);
    if (Out.FFactory)
        return S_OK;
#if defined(_WIN32)
    // The system's own text explains a failure here; none may be left over.
    DropComError();
    // The in-process server first, on its own: asked for both at once, COM
    // reports a registered server that cannot load as the missing local one.
    HRESULT r = CoGetClassObject(Class, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                 reinterpret_cast<void**>(Out.FSystem.Out()));
    if (r == REGDB_E_CLASSNOTREG && MayHaveLocalServer(Class))
        r = CoGetClassObject(Class, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                             reinterpret_cast<void**>(Out.FSystem.Out()));
    return r;
#else
    return ComFail(Utf8ToWide("Class " + GUIDText(Class) + " is not registered."), REGDB_E_CLASSNOTREG);
#endif
}

TComClass::operator bool() const {
#if defined(_WIN32)
    if (FSystem)
        return true;
#endif
    return bool(FFactory);
}

HRESULT TComClass::CreateInstance(TComPtr<IUnknown>& Obj) const {
    Obj.Reset();
    HRESULT r = S_OK;
    if (FFactory) {
        try {
            r = FFactory(Obj);
        } catch (const std::exception& e) {
            r = ComFail(Utf8ToWide(e.what()));
        }
    }
#if defined(_WIN32)
    else if (FSystem) {
        DropComError();
        r = FSystem->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(Obj.Out()));
    }
#endif
    else {
        r = ComFail(u"No class to create an object of.", E_UNEXPECTED);
    }
    if (SUCCEEDED(r) && !Obj)
        r = ComFail(Utf8ToWide("Class " + GUIDText(FClass) + " created no object."), E_POINTER);
    if (FAILED(r))
        Obj.Reset();
    return r;
}

HRESULT CreateComObject(REFCLSID Class, TComPtr<IUnknown>& Obj) {
    Obj.Reset();
    TComClass Found;
    if (HRESULT r = GetComClass(Class, Found); FAILED(r))
        return r;
    return Found.CreateInstance(Obj);
}

TClassRegistrationScope::TClassRegistrationScope(REFCLSID Class, TClassFactory Factory)
    : FClass(Class), FPrevious(FindClass(Class)) {
    RegisterComClass(Class, std::move(Factory));
}

TClassRegistrationScope::~TClassRegistrationScope() {
    RegisterComClass(FClass, std::move(FPrevious));
}

#if defined(_WIN32)
TComApartment::TComApartment() : FStatus(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}

TComApartment::~TComApartment() {
    // Only a successful CoInitializeEx (S_FALSE included) is matched.
    if (SUCCEEDED(FStatus))
        CoUninitialize();
}
#else
TComApartment::TComApartment() = default;
TComApartment::~TComApartment() = default;
#endif

} // namespace wdx::monitor
