#pragma once
// Where objects of the outside classes come from. The class table says which
// implementation a class identifier yields: the program registers its
// implementations at start (the relay and the monitor server); a test
// registers its fakes for as long as a scope lives. On Windows a class the
// table does not hold is activated through COM, by its registration in the
// system (CoGetClassObject, in-process or local server). Nothing in the
// monitor creates an outside object any other way.
//
// Threads: every function here may be called from any thread; the table is
// guarded, and a factory runs outside the guard (it may register classes
// itself). Each call creates a new object for its caller alone. On Windows
// the calling thread must have initialised COM (TComApartment).

#include "monitorapi/ComSupport.h"

#include <functional>

namespace wdx::monitor {

// Creates a new object and hands out its first reference through Obj.
using TClassFactory = std::function<HRESULT(TComPtr<IUnknown>& Obj)>;

// Makes Class yield what Factory creates, replacing any earlier entry. An
// empty Factory removes the entry.
void RegisterComClass(REFCLSID Class, TClassFactory Factory);

// Whether the table holds Class.
bool IsClassRegistered(REFCLSID Class);

// One class, found and ready to create objects. On Windows finding a class
// that the system registers loads its server, so that a class that is not
// registered, or a server that cannot load, fails here, before any object
// exists.
class TComClass {
public:
    TComClass() = default;

    // Creates a new object of the class; a factory that throws or hands back
    // nothing fails too. A failure leaves its text for ComCheck.
    HRESULT CreateInstance(TComPtr<IUnknown>& Obj) const;

    explicit operator bool() const;

private:
    friend HRESULT GetComClass(REFCLSID Class, TComClass& Out);

    CLSID FClass{};
    TClassFactory FFactory; // the table's entry
#if defined(_WIN32)
    TComPtr<IClassFactory> FSystem; // else the system's
#endif
};

// Finds Class: the table's entry, else (on Windows) the system's
// registration. Fails with REGDB_E_CLASSNOTREG when there is none.
HRESULT GetComClass(REFCLSID Class, TComClass& Out);

// Finds Class and creates an object of it.
HRESULT CreateComObject(REFCLSID Class, TComPtr<IUnknown>& Obj);

// Creates an object of class Class and asks it for the interface T.
template <CHasIid T> HRESULT CreateComObject(REFCLSID Class, TComPtr<T>& Out) {
    TComPtr<IUnknown> obj;
    HRESULT r = CreateComObject(Class, obj);
    if (FAILED(r))
        return r;
    return QueryInterface(*obj, Out);
}

// Registers Factory for Class while it lives and puts the earlier entry (or
// none) back when it ends.
class TClassRegistrationScope {
public:
    TClassRegistrationScope(REFCLSID Class, TClassFactory Factory);
    ~TClassRegistrationScope();
    TClassRegistrationScope(const TClassRegistrationScope&) = delete;
    TClassRegistrationScope& operator=(const TClassRegistrationScope&) = delete;

private:
    CLSID FClass;
    TClassFactory FPrevious;
};

// COM for the calling thread while it lives: initialised once at the start of
// a program's thread (apartment-threaded, as the window programs' one
// thread is), uninitialised when it ends. Declared before any reference, so
// that every reference is released first. Nothing to do where there is no
// COM.
class TComApartment {
public:
    TComApartment();
    ~TComApartment();
    TComApartment(const TComApartment&) = delete;
    TComApartment& operator=(const TComApartment&) = delete;

    // Whether this thread's COM is usable; a failure code says why.
    HRESULT Status() const { return FStatus; }

private:
    HRESULT FStatus = S_OK;
};

} // namespace wdx::monitor
