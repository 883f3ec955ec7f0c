#pragma once
// The binary ground of the contract: identifiers, HRESULT, BSTR, IUnknown and
// IDispatch. On Windows they are the SDK's own, so the interfaces declared on
// them are the very tables the installed components have. Elsewhere this
// header declares the same layout: IUnknown's three and IDispatch's four
// members in the same slots, BSTR as a pointer to 16-bit characters with the
// byte length in the four bytes before it and a terminating zero after it,
// and HRESULT as a signed 32-bit code, negative for failure.
//
// Only what the contract uses is declared here; the declarations keep the
// SDK's names so that one text compiles on both sides.

#if defined(_WIN32)

#include <windows.h>

#include <oaidl.h>

#else

#include <cstdint>

using HRESULT = std::int32_t;
using ULONG = std::uint32_t;
using UINT = unsigned int;
using WORD = std::uint16_t;
using LCID = std::uint32_t;
using DISPID = std::int32_t;
using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;
using BSTR = OLECHAR*;

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

constexpr bool operator==(const GUID& A, const GUID& B) {
    if (A.Data1 != B.Data1 || A.Data2 != B.Data2 || A.Data3 != B.Data3)
        return false;
    for (int I = 0; I < 8; ++I)
        if (A.Data4[I] != B.Data4[I])
            return false;
    return true;
}

#define STDMETHODCALLTYPE
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = HRESULT(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = HRESULT(0x80004002);
inline constexpr HRESULT E_POINTER = HRESULT(0x80004003);
inline constexpr HRESULT E_FAIL = HRESULT(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = HRESULT(0x8000FFFF);
inline constexpr HRESULT E_OUTOFMEMORY = HRESULT(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = HRESULT(0x80070057);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = HRESULT(0x80040154);

// Only ever passed by pointer here; their contents are the SDK's business.
struct ITypeInfo;
struct DISPPARAMS;
struct VARIANT;
struct EXCEPINFO;

// No destructor in the table: an object goes by Release, never by delete
// through an interface.
struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Obj) = 0; // 0
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;                                 // 1
    virtual ULONG STDMETHODCALLTYPE Release() = 0;                                // 2

protected:
    ~IUnknown() = default;
};

struct IDispatch : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* Count) = 0;                          // 3
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT Index, LCID Locale, ITypeInfo** Info) = 0; // 4
    virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID Iid, LPOLESTR* Names, UINT Count, LCID Locale,
                                                    DISPID* Ids) = 0; // 5
    virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID Member, REFIID Iid, LCID Locale, WORD Flags,
                                             DISPPARAMS* Params, VARIANT* Result, EXCEPINFO* Exception,
                                             UINT* ArgError) = 0; // 6

protected:
    ~IDispatch() = default;
};

// The SDK's BSTR functions. A null BSTR is the empty text; SysAllocStringLen
// with a null source leaves the characters for the caller to fill.
BSTR SysAllocStringLen(const OLECHAR* Text, UINT Length);
BSTR SysAllocString(const OLECHAR* Text);
void SysFreeString(BSTR Text);
UINT SysStringLen(BSTR Text);

#endif
