// The DLL's objects as COM hands them out, with the DLL loaded into the test:
// its class objects, what they refuse, when it may be unloaded, and the
// error text a failed call leaves for a client that asks as COM's own do.

#include "ServerDll.h"

#include "../monitor/ComEnvironment.h"
#include "monitorapi/MonitorIntf.h"

#include <gtest/gtest.h>

using namespace wdx::monitor;
using namespace wdx::testing;

namespace {

TComPtr<IClassFactory> ClassObject(TServerDll& Dll, REFCLSID Class) {
    TComPtr<IClassFactory> Factory;
    EXPECT_EQ(Dll.GetClassObject(Class, IID_IClassFactory, reinterpret_cast<void**>(Factory.Out())), S_OK);
    return Factory;
}

template <class T> TComPtr<T> Create(IClassFactory& Factory) {
    TComPtr<T> Obj;
    EXPECT_EQ(Factory.CreateInstance(nullptr, T::Iid, reinterpret_cast<void**>(Obj.Out())), S_OK);
    return Obj;
}

// The error text of the last failed call on Intf, read the way a COM client
// reads it: only if the object says it supports error objects for Iid.
std::u16string ClientErrorText(IUnknown& Obj, REFIID Iid) {
    TComPtr<ISupportErrorInfo> Support;
    if (FAILED(Obj.QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(Support.Out()))))
        return u"(no ISupportErrorInfo)";
    if (Support->InterfaceSupportsErrorInfo(Iid) != S_OK)
        return u"(no error objects for this interface)";
    std::u16string Text;
    if (!TakeComErrorText(Text))
        return u"(no error object)";
    return Text;
}

} // namespace

TEST(ServerObjects, TheDllStaysWhileAnyObjectOrLockIsHeld) {
    TServerDll Dll;
    EXPECT_EQ(Dll.CanUnloadNow(), S_OK);
    {
        TComPtr<IClassFactory> Factory = ClassObject(Dll, CLSID_Monitor);
        ASSERT_TRUE(Factory);
        EXPECT_EQ(Dll.CanUnloadNow(), S_FALSE) << "a class object is held";
        TComPtr<_Monitor> Monitor = Create<_Monitor>(*Factory);
        ASSERT_TRUE(Monitor);
        Factory.Reset();
        EXPECT_EQ(Dll.CanUnloadNow(), S_FALSE) << "the monitor server is alive";
        TComPtr<_servers> Servers;
        ASSERT_EQ(Monitor->Servers(Servers.Out()), S_OK);
        Monitor.Reset();
        EXPECT_EQ(Dll.CanUnloadNow(), S_FALSE) << "the list it handed out is alive";
    }
    EXPECT_EQ(Dll.CanUnloadNow(), S_OK);

    TComPtr<IClassFactory> Factory = ClassObject(Dll, CLSID_OmniRelay);
    ASSERT_TRUE(Factory);
    EXPECT_EQ(Factory->LockServer(TRUE), S_OK);
    Factory.Reset();
    EXPECT_EQ(Dll.CanUnloadNow(), S_FALSE) << "locked";
    TComPtr<IClassFactory> Again = ClassObject(Dll, CLSID_OmniRelay);
    EXPECT_EQ(Again->LockServer(FALSE), S_OK);
    EXPECT_EQ(Again->LockServer(FALSE), S_OK) << "an unlock too many is ignored";
    Again.Reset();
    EXPECT_EQ(Dll.CanUnloadNow(), S_OK);
}

TEST(ServerObjects, ClassObjectsRefuseWhatTheyDoNotServe) {
    TServerDll Dll;
    void* Obj = reinterpret_cast<void*>(1);
    EXPECT_EQ(
        Dll.GetClassObject(ParseGUID("{01234567-89AB-CDEF-0123-456789ABCDEF}"), IID_IClassFactory, &Obj),
        CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(Obj, nullptr);
    Obj = reinterpret_cast<void*>(1);
    EXPECT_EQ(Dll.GetClassObject(CLSID_Monitor, _Monitor::Iid, &Obj), E_NOINTERFACE);
    EXPECT_EQ(Obj, nullptr);
    EXPECT_EQ(Dll.GetClassObject(CLSID_Monitor, IID_IClassFactory, nullptr), E_POINTER);

    TComPtr<IClassFactory> Factory = ClassObject(Dll, CLSID_OmniRelay);
    ASSERT_TRUE(Factory);
    TComPtr<IUnknown> Outer = TComPtr<IUnknown>(Factory.Get());
    Obj = reinterpret_cast<void*>(1);
    EXPECT_EQ(Factory->CreateInstance(Outer.Get(), IID_IUnknown, &Obj), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(Obj, nullptr);
    // The relay is not a monitor server.
    EXPECT_EQ(Factory->CreateInstance(nullptr, _Monitor::Iid, &Obj), E_NOINTERFACE);
    EXPECT_EQ(Obj, nullptr);
    TComPtr<IOmniRelay> Relay = Create<IOmniRelay>(*Factory);
    EXPECT_TRUE(Relay);
}

TEST(ServerObjects, AFailedCallLeavesItsTextForTheClient) {
    TServerDll Dll;
    TComPtr<IClassFactory> Factory = ClassObject(Dll, CLSID_Monitor);
    ASSERT_TRUE(Factory);
    TComPtr<_Monitor> Monitor = Create<_Monitor>(*Factory);
    ASSERT_TRUE(Monitor);
    TComPtr<_services> Services;
    ASSERT_EQ(Monitor->Services(Services.Out()), S_OK);
    ASSERT_EQ(Services->Close(), S_OK);
    std::int16_t Status = 0;
    EXPECT_TRUE(FAILED(Services->Open(&Status)));
    EXPECT_EQ(ClientErrorText(*Services, _services::Iid), u"The service list has been closed.");

    // The interfaces without an identifier of their own claim nothing.
    TComPtr<ISupportErrorInfo> Support;
    ASSERT_EQ(Services->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(Support.Out())), S_OK);
    EXPECT_EQ(Support->InterfaceSupportsErrorInfo(_servers::Iid), S_FALSE);
    // Its IUnknown is the object's own.
    void* A = nullptr;
    void* B = nullptr;
    ASSERT_EQ(Support->QueryInterface(IID_IUnknown, &A), S_OK);
    ASSERT_EQ(Services->QueryInterface(IID_IUnknown, &B), S_OK);
    EXPECT_EQ(A, B);
    static_cast<IUnknown*>(A)->Release();
    static_cast<IUnknown*>(B)->Release();
}
