// The entry points of WDXStatsHost.dll, exported by these names through
// WDXStatsHost.def: COM's DllGetClassObject and DllCanUnloadNow, and the
// two that regsvr32 calls.

#include "comserver/ClassFactory.h"
#include "comserver/ServerModule.h"
#include "comserver/ServerRegistration.h"

#include <new>

using namespace wdx::comserver;

namespace {
// Nothing may be thrown out of an entry point.
template <class Call> HRESULT Guarded(Call&& C) {
    try {
        return C();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

template <class Action> HRESULT WithServerPath(Action&& A) {
    return Guarded([&] {
        std::wstring Path;
        if (DWORD Error = ServerPath(Path); Error != ERROR_SUCCESS)
            return HRESULT_FROM_WIN32(Error);
        return A(Path);
    });
}
} // namespace

extern "C" {

STDAPI DllGetClassObject(REFCLSID Class, REFIID Iid, LPVOID* Obj) {
    return Guarded([&] { return GetClassObject(Class, Iid, Obj); });
}

STDAPI DllCanUnloadNow() {
    return ServerInUse() ? S_FALSE : S_OK;
}

STDAPI DllRegisterServer() {
    return WithServerPath(RegisterServer);
}

STDAPI DllUnregisterServer() {
    return WithServerPath(UnregisterServer);
}
}
