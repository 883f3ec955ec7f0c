#pragma once
// The class object COM asks the DLL for: one per served class, handing out
// new objects made by the stand-ins' factory. A class object is an object of
// the DLL like any other: while a client holds one, the DLL stays loaded.

#include "comserver/ServerModule.h"

namespace wdx::comserver {

// DllGetClassObject: the class object of Class asked for Iid, or
// CLASS_E_CLASSNOTAVAILABLE for a class this DLL does not serve.
HRESULT GetClassObject(REFCLSID Class, REFIID Iid, void** Obj);

} // namespace wdx::comserver
