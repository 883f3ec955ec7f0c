#pragma once
// What the server DLL is: the classes it serves, where it lies, and whether
// anything of it is still in use.

#include "monitorapi/ComFactory.h"

#include <string>

namespace wdx::comserver {

// A class the DLL serves: its identifier, the name its registration shows,
// and the stand-in factory (statshost/StandIns.h) that makes its objects.
struct TServedClass {
    CLSID Class;
    const wchar_t* Name;
    monitor::TClassFactory (*Factory)();
};

// The relay and the monitor server, in that order.
const TServedClass* ServedClasses(std::size_t& Count);

// The served class of Class, or null.
const TServedClass* FindServedClass(REFCLSID Class);

// IClassFactory::LockServer's count: true adds one lock, false removes one.
void LockServer(bool Lock);

// Whether an object of this DLL (the class objects included) is alive or a
// client holds a lock: until neither, the DLL must stay loaded.
bool ServerInUse();

// The full path of the DLL this code is linked into, as COM must load it;
// a Win32 error code when it cannot be had.
DWORD ServerPath(std::wstring& Path);

} // namespace wdx::comserver
