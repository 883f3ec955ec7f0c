#include "monitorapi/ComFactory.h"

#include "monitorapi/WideText.h"

#include <map>

namespace wdx::monitor {

namespace {
std::map<TGUID, TClassFactory>& ClassTable() {
    static std::map<TGUID, TClassFactory> table;
    return table;
}

TClassFactory FindClass(const TGUID& CLSID) {
    auto it = ClassTable().find(CLSID);
    return it == ClassTable().end() ? TClassFactory{} : it->second;
}
} // namespace

void RegisterClass(const TGUID& CLSID, TClassFactory Factory) {
    if (Factory)
        ClassTable()[CLSID] = std::move(Factory);
    else
        ClassTable().erase(CLSID);
}

bool IsClassRegistered(const TGUID& CLSID) {
    return ClassTable().count(CLSID) != 0;
}

THResult CreateComObject(const TGUID& CLSID, TComPtr<IUnknown>& Obj) {
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
    RegisterClass(CLSID, std::move(Factory));
}

TClassRegistrationScope::~TClassRegistrationScope() {
    RegisterClass(FCLSID, std::move(FPrevious));
}

} // namespace wdx::monitor
