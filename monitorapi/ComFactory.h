#pragma once
// The class table: which implementation a class identifier yields. The
// program registers its implementations at start (the relay and the monitor
// server); a test registers its fakes for as long as a scope lives. Nothing
// in the monitor creates an outside object any other way.
//
// Threads: every function here may be called from any thread; the table is
// guarded, and a factory runs outside the guard (it may register classes
// itself). Each call creates a new object for its caller alone.

#include "monitorapi/ComSupport.h"

#include <functional>

namespace wdx::monitor {

// Creates a new object and hands out its first reference through Obj.
using TClassFactory = std::function<THResult(TComPtr<IComUnknown>& Obj)>;

// Makes CLSID yield what Factory creates, replacing any earlier entry. An
// empty Factory removes the entry.
void RegisterComClass(const TGUID& CLSID, TClassFactory Factory);

bool IsClassRegistered(const TGUID& CLSID);

// Creates an object of class CLSID. Fails with ErrClassNotRegistered when the
// table has no entry; a factory that throws or hands back nothing fails too.
THResult CreateComObject(const TGUID& CLSID, TComPtr<IComUnknown>& Obj);

// Creates an object of class CLSID and asks it for the interface T.
template <CHasIID T> THResult CreateComObject(const TGUID& CLSID, TComPtr<T>& Out) {
    TComPtr<IComUnknown> obj;
    THResult r = CreateComObject(CLSID, obj);
    if (r.Failed())
        return r;
    return QueryInterface(*obj, Out);
}

// Registers Factory for CLSID while it lives and puts the earlier entry (or
// none) back when it ends.
class TClassRegistrationScope {
public:
    TClassRegistrationScope(const TGUID& CLSID, TClassFactory Factory);
    ~TClassRegistrationScope();
    TClassRegistrationScope(const TClassRegistrationScope&) = delete;
    TClassRegistrationScope& operator=(const TClassRegistrationScope&) = delete;

private:
    TGUID FCLSID;
    TClassFactory FPrevious;
};

} // namespace wdx::monitor
