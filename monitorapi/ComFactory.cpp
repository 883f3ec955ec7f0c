#include "monitorapi/ComFactory.h"

#include "monitorapi/WideText.h"

#include <map>
#include <mutex>

namespace wdx::monitor {

namespace {
std::mutex TableLock;

std::map<TGUID, TClassFactory>& ClassTable() {
    static std::map<TGUID, TClassFactory> table;
    return table;
}

TClassFactory FindClass(const TGUID& CLSID) {
    std::lock_guard lock(TableLock);
    auto it = ClassTable().find(CLSID);
    return it == ClassTable().end() ? TClassFactory{} : it->second;
}
} // namespace

void RegisterComClass(const TGUID& CLSID, TClassFactory Factory) {
    TClassFactory replaced; // destroyed outside the lock
    std::lock_guard lock(TableLock);
    auto it = ClassTable().find(CLSID);
    if (it != ClassTable().end()) {
        replaced = std::move(it->second);
        if (Factory)
            it->second = std::move(Factory);
        else
            ClassTable().erase(it);
    } else if (Factory) {
        ClassTable().emplace(CLSID, std::move(Factory));
    }
}

bool IsClassRegistered(const TGUID& CLSID) {
    std::lock_guard lock(TableLock);
    return ClassTable().count(CLSID) != 0;
}

THResult CreateComObject(const TGUID& CLSID, TComPtr<IComUnknown>& Obj) {
    Obj.Reset();
    // A copy: the factory may change the table while it runs.
    TClassFactory factory = FindClass(CLSID);
    if (!factory)
        return THResult::Fail(Utf8ToWide("Class " + CLSID.ToString() + " is not registered."),
                              ErrClassNotRegistered);
    THResult r;
    try {
        r = factory(Obj);
    } catch (const std::exception& e) {
        r = THResult::Fail(Utf8ToWide(e.what()));
    }
    if (r.Succeeded() && !Obj)
        r = THResult::Fail(Utf8ToWide("Class " + CLSID.ToString() + " created no object."), ErrPointer);
    if (r.Failed())
        Obj.Reset();
    return r;
}

TClassRegistrationScope::TClassRegistrationScope(const TGUID& CLSID, TClassFactory Factory)
    : FCLSID(CLSID), FPrevious(FindClass(CLSID)) {
    RegisterComClass(CLSID, std::move(Factory));
}

TClassRegistrationScope::~TClassRegistrationScope() {
    RegisterComClass(FCLSID, std::move(FPrevious));
}

} // namespace wdx::monitor
