#include "comserver/ServerRegistration.h"

#include "comserver/ServerModule.h"

#include <optional>

namespace wdx::comserver {

namespace {

// The threading model: the programs make and call these objects from their
// one single-threaded apartment, and an object is not made to be called from
// two threads at once (StatsMonitor.h). "Apartment" has COM keep every call
// on the thread that created the object.
constexpr wchar_t ThreadingModel[] = L"Apartment";
constexpr wchar_t ServerFileName[] = L"WDXStatsHost.dll";

// An open key, closed when it ends.
class TKey {
public:
    TKey() = default;
    TKey(const TKey&) = delete;
    TKey& operator=(const TKey&) = delete;
    ~TKey() {
        if (FKey)
            RegCloseKey(FKey);
    }
    HKEY Get() const { return FKey; }
    HKEY* Out() { return &FKey; }

private:
    HKEY FKey = nullptr;
};

HRESULT FromWin32(LSTATUS Status) {
    return Status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(DWORD(Status));
}

std::wstring ClassKeyName(REFCLSID Class) {
    const std::string Id = monitor::GUIDText(Class);
    return L"Software\\Classes\\CLSID\\" + std::wstring(Id.begin(), Id.end());
}

// A text value; nullopt when it is missing or not a text (Status says which
// failures are real ones).
std::optional<std::wstring> ReadText(HKEY Key, const wchar_t* SubKey, const wchar_t* Name, LSTATUS& Status) {
    DWORD Bytes = 0;
    Status = RegGetValueW(Key, SubKey, Name, RRF_RT_REG_SZ, nullptr, nullptr, &Bytes);
    if (Status != ERROR_SUCCESS)
        return std::nullopt;
    std::wstring Text(Bytes / sizeof(wchar_t) + 1, L'\0');
    Bytes = DWORD(Text.size() * sizeof(wchar_t));
    Status = RegGetValueW(Key, SubKey, Name, RRF_RT_REG_SZ, nullptr, Text.data(), &Bytes);
    if (Status != ERROR_SUCCESS)
        return std::nullopt;
    Text.resize(Bytes / sizeof(wchar_t));
    while (!Text.empty() && Text.back() == L'\0')
        Text.pop_back();
    return Text;
}

bool SameText(const std::wstring& A, const std::wstring& B) {
    return CompareStringOrdinal(A.c_str(), int(A.size()), B.c_str(), int(B.size()), TRUE) == CSTR_EQUAL;
}

bool NamesThisServer(const std::wstring& Registered) {
    const std::size_t Slash = Registered.find_last_of(L"\\/");
    return SameText(Slash == std::wstring::npos ? Registered : Registered.substr(Slash + 1), ServerFileName);
}

LSTATUS SetText(HKEY Key, const wchar_t* Name, const std::wstring& Text) {
    return RegSetValueExW(Key, Name, 0, REG_SZ, reinterpret_cast<const BYTE*>(Text.c_str()),
                          DWORD((Text.size() + 1) * sizeof(wchar_t)));
}

// Whether another server holds the class (see the header).
bool HeldByAnother(HKEY Classes, const std::wstring& ClassKey) {
    LSTATUS Status = ERROR_SUCCESS;
    std::optional<std::wstring> Inproc =
        ReadText(Classes, (ClassKey + L"\\InprocServer32").c_str(), nullptr, Status);
    if (Inproc && !Inproc->empty() && !NamesThisServer(*Inproc))
        return true;
    TKey Local;
    return RegOpenKeyExW(Classes, (ClassKey + L"\\LocalServer32").c_str(), 0, KEY_READ, Local.Out()) ==
           ERROR_SUCCESS;
}

HRESULT WriteClass(const TServedClass& Served, const std::wstring& Path) {
    const std::wstring ClassKey = ClassKeyName(Served.Class);
    if (HeldByAnother(HKEY_LOCAL_MACHINE, ClassKey))
        return S_OK;
    TKey Class, Server;
    LSTATUS Status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, ClassKey.c_str(), 0, nullptr, 0,
                                     KEY_READ | KEY_WRITE, nullptr, Class.Out(), nullptr);
    if (Status == ERROR_SUCCESS)
        Status = SetText(Class.Get(), nullptr, Served.Name);
    if (Status == ERROR_SUCCESS)
        Status = RegCreateKeyExW(Class.Get(), L"InprocServer32", 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                                 Server.Out(), nullptr);
    if (Status == ERROR_SUCCESS)
        Status = SetText(Server.Get(), nullptr, Path);
    if (Status == ERROR_SUCCESS)
        Status = SetText(Server.Get(), L"ThreadingModel", ThreadingModel);
    return FromWin32(Status);
}

// Whether the key holds neither values nor subkeys.
bool IsEmpty(HKEY Key) {
    DWORD SubKeys = 0, Values = 0;
    return RegQueryInfoKeyW(Key, nullptr, nullptr, nullptr, &SubKeys, nullptr, nullptr, &Values, nullptr,
                            nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           SubKeys == 0 && Values == 0;
}

// Deletes Name's value when it holds Text; a value that is already gone is
// no failure.
LSTATUS DeleteTextIf(HKEY Key, const wchar_t* Name, const std::wstring& Text) {
    LSTATUS Status = ERROR_SUCCESS;
    std::optional<std::wstring> Held = ReadText(Key, nullptr, Name, Status);
    if (!Held || !SameText(*Held, Text))
        return Status == ERROR_FILE_NOT_FOUND || Status == ERROR_UNSUPPORTED_TYPE ? ERROR_SUCCESS : Status;
    Status = RegDeleteValueW(Key, Name);
    return Status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : Status;
}

LSTATUS DeleteKeyIfEmpty(HKEY Parent, const wchar_t* SubKey) {
    TKey Key;
    LSTATUS Status = RegOpenKeyExW(Parent, SubKey, 0, KEY_READ, Key.Out());
    if (Status == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    if (Status != ERROR_SUCCESS || !IsEmpty(Key.Get()))
        return Status;
    Status = RegDeleteKeyW(Parent, SubKey);
    return Status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : Status;
}

HRESULT EraseClass(const TServedClass& Served, const std::wstring& Path) {
    const std::wstring ClassKey = ClassKeyName(Served.Class);
    LSTATUS Status = ERROR_SUCCESS;
    {
        TKey Class;
        Status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, ClassKey.c_str(), 0, KEY_READ | KEY_WRITE, Class.Out());
        if (Status == ERROR_FILE_NOT_FOUND)
            return S_OK;
        if (Status != ERROR_SUCCESS)
            return FromWin32(Status);
        {
            TKey Server;
            Status = RegOpenKeyExW(Class.Get(), L"InprocServer32", 0, KEY_READ | KEY_WRITE, Server.Out());
            if (Status == ERROR_FILE_NOT_FOUND)
                return S_OK;
            if (Status != ERROR_SUCCESS)
                return FromWin32(Status);
            // Another DLL's registration, or this DLL's from another folder:
            // not what this one wrote.
            std::optional<std::wstring> Registered = ReadText(Server.Get(), nullptr, nullptr, Status);
            if (!Registered || !SameText(*Registered, Path))
                return S_OK;
            Status = DeleteTextIf(Server.Get(), L"ThreadingModel", ThreadingModel);
            if (Status == ERROR_SUCCESS)
                Status = RegDeleteValueW(Server.Get(), nullptr);
            if (Status != ERROR_SUCCESS)
                return FromWin32(Status);
        }
        Status = DeleteKeyIfEmpty(Class.Get(), L"InprocServer32");
        if (Status == ERROR_SUCCESS)
            Status = DeleteTextIf(Class.Get(), nullptr, Served.Name);
        if (Status != ERROR_SUCCESS)
            return FromWin32(Status);
    }
    return FromWin32(DeleteKeyIfEmpty(HKEY_LOCAL_MACHINE, ClassKey.c_str()));
}

} // namespace

HRESULT RegisterServer(const std::wstring& Path) {
    std::size_t Count = 0;
    const TServedClass* Classes = ServedClasses(Count);
    for (std::size_t I = 0; I < Count; ++I) {
        if (HRESULT R = WriteClass(Classes[I], Path); FAILED(R)) {
            (void)UnregisterServer(Path); // what was written so far
            return R;
        }
    }
    return S_OK;
}

HRESULT UnregisterServer(const std::wstring& Path) {
    std::size_t Count = 0;
    const TServedClass* Classes = ServedClasses(Count);
    HRESULT First = S_OK;
    for (std::size_t I = 0; I < Count; ++I)
        if (HRESULT R = EraseClass(Classes[I], Path); FAILED(R) && SUCCEEDED(First))
            First = R;
    return First;
}

} // namespace wdx::comserver
