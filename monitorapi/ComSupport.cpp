#include "monitorapi/ComSupport.h"

#include "unicode/Utf.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace wdx::monitor {

std::string GUIDText(const GUID& G) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", unsigned(G.Data1),
                  unsigned(G.Data2), unsigned(G.Data3), G.Data4[0], G.Data4[1], G.Data4[2], G.Data4[3],
                  G.Data4[4], G.Data4[5], G.Data4[6], G.Data4[7]);
    return buf;
}

bool TGUIDLess::operator()(const GUID& A, const GUID& B) const {
    if (A.Data1 != B.Data1)
        return A.Data1 < B.Data1;
    if (A.Data2 != B.Data2)
        return A.Data2 < B.Data2;
    if (A.Data3 != B.Data3)
        return A.Data3 < B.Data3;
    return std::memcmp(A.Data4, B.Data4, sizeof A.Data4) < 0;
}

namespace {
std::string FailureText(HRESULT Code, std::u16string_view Message) {
    return unicode::Utf16ToUtf8(Message.empty() ? std::u16string_view(HResultText(Code)) : Message);
}

// The codes the contract meets, worded as the system words them, for where
// the system has no words (this platform, or a Windows without the message).
std::u16string KnownCodeText(HRESULT Code) {
    switch (Code) {
    case E_NOTIMPL:
        return u"Not implemented";
    case E_NOINTERFACE:
        return u"No such interface supported";
    case E_POINTER:
        return u"Invalid pointer";
    case E_FAIL:
        return u"Unspecified error";
    case E_UNEXPECTED:
        return u"Catastrophic failure";
    case E_OUTOFMEMORY:
        return u"Not enough memory resources are available to complete this operation.";
    case E_INVALIDARG:
        return u"The parameter is incorrect.";
    case REGDB_E_CLASSNOTREG:
        return u"Class not registered";
    default: {
        char buf[64];
        std::snprintf(buf, sizeof buf, "Operation failed (error 0x%08X).", unsigned(Code));
        return unicode::Utf8ToUtf16(buf);
    }
    }
}
} // namespace

ECOMError::ECOMError(HRESULT Code, std::u16string_view Message)
    : std::runtime_error(FailureText(Code, Message)), FErrorCode(Code) {}

void ThrowComError(HRESULT Code) {
    std::u16string Text;
    if (!TakeComErrorText(Text))
        Text.clear();
    throw ECOMError(Code, Text);
}

std::string BStrUtf8(const OLECHAR* Text) {
    return unicode::Utf16ToUtf8(BStrView(Text));
}

HRESULT PutBStr(BSTR* Out, std::u16string_view Text) {
    if (!Out)
        return E_POINTER;
    *Out = AllocBStr(Text);
    return *Out ? S_OK : E_OUTOFMEMORY;
}

HRESULT ReplaceBStr(BSTR* InOut, std::u16string_view Text) {
    if (!InOut)
        return E_POINTER;
    BSTR Fresh = AllocBStr(Text);
    if (!Fresh)
        return E_OUTOFMEMORY;
    SysFreeString(*InOut);
    *InOut = Fresh;
    return S_OK;
}

TBStr::TBStr(std::u16string_view Text) : FText(AllocBStr(Text)) {
    if (!FText)
        throw std::bad_alloc();
}

#if defined(_WIN32)

// The error object COM keeps per thread: CreateErrorInfo with the text,
// SetErrorInfo for the caller, GetErrorInfo (which clears it) on the other
// side; FormatMessage words a code that came without one.

HRESULT ComFail(std::u16string_view Text, HRESULT Code) {
    if (SUCCEEDED(Code))
        Code = E_FAIL;
    ICreateErrorInfo* Create = nullptr;
    if (SUCCEEDED(CreateErrorInfo(&Create)) && Create) {
        std::wstring Copy(reinterpret_cast<const wchar_t*>(Text.data()), Text.size());
        IErrorInfo* Info = nullptr;
        if (SUCCEEDED(Create->SetDescription(Copy.data())) &&
            SUCCEEDED(Create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&Info))) && Info) {
            SetErrorInfo(0, Info);
            Info->Release();
        }
        Create->Release();
    }
    return Code;
}

bool TakeComErrorText(std::u16string& Text) {
    IErrorInfo* Info = nullptr;
    if (GetErrorInfo(0, &Info) != S_OK || !Info)
        return false;
    BSTR Description = nullptr;
    const bool Got = SUCCEEDED(Info->GetDescription(&Description));
    Info->Release();
    Text = BStrView(Description);
    SysFreeString(Description);
    return Got;
}

std::u16string HResultText(HRESULT Code) {
    wchar_t* Buffer = nullptr;
    const DWORD Length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        DWORD(Code), 0, reinterpret_cast<LPWSTR>(&Buffer), 0, nullptr);
    std::u16string Text;
    if (Length && Buffer)
        Text.assign(reinterpret_cast<const char16_t*>(Buffer), Length);
    if (Buffer)
        LocalFree(Buffer);
    while (!Text.empty() && (Text.back() == u'\n' || Text.back() == u'\r' || Text.back() == u' '))
        Text.pop_back();
    return Text.empty() ? KnownCodeText(Code) : Text;
}

#else

namespace {
// What SetErrorInfo keeps for the thread: one text, until it is taken.
struct TThreadError {
    bool Set = false;
    std::u16string Text;
};
thread_local TThreadError ThreadError;
} // namespace

HRESULT ComFail(std::u16string_view Text, HRESULT Code) {
    ThreadError.Set = true;
    ThreadError.Text.assign(Text);
    return FAILED(Code) ? Code : E_FAIL;
}

bool TakeComErrorText(std::u16string& Text) {
    if (!ThreadError.Set)
        return false;
    ThreadError.Set = false;
    Text = std::move(ThreadError.Text);
    ThreadError.Text.clear();
    return true;
}

std::u16string HResultText(HRESULT Code) {
    return KnownCodeText(Code);
}

#endif

} // namespace wdx::monitor
