#include "comserver/ClassFactory.h"

#include "monitorapi/WideText.h"

#include <atomic>
#include <new>

namespace wdx::comserver {

namespace {

// The SDK's interfaces have no destructor, by design: this one goes by Release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class TStandInClassObject final : public IClassFactory {
public:
    explicit TStandInClassObject(const TServedClass& Served) : FServed(Served) {
        monitor::ComObjectsAlive.fetch_add(1, std::memory_order_relaxed);
    }
    TStandInClassObject(const TStandInClassObject&) = delete;
    TStandInClassObject& operator=(const TStandInClassObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID Iid, void** Obj) override {
        if (!Obj)
            return E_POINTER;
        *Obj = nullptr;
        if (Iid != IID_IUnknown && Iid != IID_IClassFactory)
            return E_NOINTERFACE;
        *Obj = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        return FRefCount.fetch_add(1, std::memory_order_relaxed) + 1;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG Left = FRefCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (Left == 0)
            delete this;
        return Left;
    }

    STDMETHODIMP CreateInstance(IUnknown* Outer, REFIID Iid, void** Obj) override {
        if (!Obj)
            return E_POINTER;
        *Obj = nullptr;
        // The stand-ins cannot be part of another object.
        if (Outer)
            return CLASS_E_NOAGGREGATION;
        // Nothing may be thrown across COM's boundary: a failure is a code
        // and its text.
        try {
            monitor::TComPtr<IUnknown> Made;
            HRESULT R = FServed.Factory()(Made);
            if (FAILED(R))
                return R;
            if (!Made)
                return monitor::ComFail(u"The stand-in factory created no object.", E_POINTER);
            return Made->QueryInterface(Iid, Obj);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (const std::exception& E) {
            return monitor::ComFail(monitor::Utf8ToWide(E.what()));
        }
    }
    STDMETHODIMP LockServer(BOOL Lock) override {
        comserver::LockServer(Lock != FALSE);
        return S_OK;
    }

private:
    ~TStandInClassObject() { monitor::ComObjectsAlive.fetch_sub(1, std::memory_order_release); }

    const TServedClass& FServed;
    std::atomic<ULONG> FRefCount{1};
};
#pragma GCC diagnostic pop

} // namespace

HRESULT GetClassObject(REFCLSID Class, REFIID Iid, void** Obj) {
    if (!Obj)
        return E_POINTER;
    *Obj = nullptr;
    const TServedClass* Served = FindServedClass(Class);
    if (!Served)
        return CLASS_E_CLASSNOTAVAILABLE;
    TStandInClassObject* Made = new (std::nothrow) TStandInClassObject(*Served);
    if (!Made)
        return E_OUTOFMEMORY;
    // The first reference is the constructor's; the query adds the caller's.
    const HRESULT R = Made->QueryInterface(Iid, Obj);
    Made->Release();
    return R;
}

} // namespace wdx::comserver
