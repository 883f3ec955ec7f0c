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
    return CoGetClassObject(Class, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                            reinterpret_cast<void**>(Out.FSystem.Out()));
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
