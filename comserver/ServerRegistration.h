#pragma once
// The DLL's registration: for each served class, under
// HKEY_LOCAL_MACHINE\Software\Classes\CLSID\{class}, the class's name and an
// InprocServer32 key naming the DLL and its threading model. HKLM, not the
// user's classes: COM finds them there for every user (and Wine looks
// nowhere else).
//
// A class that another server already holds (an InprocServer32 naming
// another DLL than WDXStatsHost.dll, or a LocalServer32) is left to it: the
// outside components, where installed, are the ones to use. Removing takes
// away only what registering wrote for the DLL at that path, and keeps
// anything else under the class's key.
//
// Both return S_OK when done, else the registry's error as an HRESULT
// (HRESULT_FROM_WIN32); a registration that fails half way is taken back.

#include <windows.h>

#include <string>

namespace wdx::comserver {

HRESULT RegisterServer(const std::wstring& Path);
HRESULT UnregisterServer(const std::wstring& Path);

} // namespace wdx::comserver
