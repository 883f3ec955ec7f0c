// The Windows back-end: the registry itself, through its wide (W) calls.
// Texts cross as UTF-16, converted exactly from and to our UTF-8 (never
// through the system code page, which would lose every character outside
// it). The registry writes each value atomically but has no transaction
// across values and keys, so a write transaction writes through
// (docs/store.md, "On Windows").

#include "registry/Backend.h"
#include "registry/win32/Win32Place.h"
#include "unicode/Utf.h"

#include <windows.h>

#include <cstring>

namespace wdx::registry {

const TStoreFeatures& StoreFeatures() {
    static const TStoreFeatures Features{"Windows registry", false, true};
    return Features;
}

namespace detail {

namespace {

class TWinKey : public TBackendKey {
public:
    TWinKey(HKEY Key, bool Own) : H(Key), FOwn(Own) {}
    ~TWinKey() override {
        if (FOwn)
            RegCloseKey(H);
    }
    TWinKey(const TWinKey&) = delete;
    TWinKey& operator=(const TWinKey&) = delete;
    const HKEY H;

private:
    bool FOwn;
};

HKEY HandleOf(const TKeyRef& Key) {
    return static_cast<const TWinKey&>(*Key).H;
}

std::wstring Wide(std::string_view Utf8) {
    std::u16string U = unicode::Utf8ToUtf16(Utf8);
    return std::wstring(U.begin(), U.end());
}

std::string Narrow(const wchar_t* Text, size_t Length) {
    return unicode::Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(Text), Length));
}

// The system's text for an error code, without its line end.
std::string SystemText(LONG Code) {
    wchar_t* Buf = nullptr;
    DWORD N = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(Code), 0, reinterpret_cast<wchar_t*>(&Buf), 0, nullptr);
    std::string Text = N && Buf ? Narrow(Buf, N) : std::string();
    if (Buf)
        LocalFree(Buf);
    while (!Text.empty() &&
           (Text.back() == '\n' || Text.back() == '\r' || Text.back() == ' ' || Text.back() == '.'))
        Text.pop_back();
    return Text.empty() ? "Windows error " + std::to_string(Code) : Text + " (" + std::to_string(Code) + ")";
}

// Fills Fault for a failed registry call on Path (as shown to the user).
bool Fail(TFault& Fault, LONG Code, const char* What, const std::string& Path) {
    switch (Code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        Fault.Error = TRegError::NotFound; // the contract's text
        return false;
    case ERROR_KEY_DELETED:
        Fault.Error = TRegError::NotFound;
        Fault.Text = "the key has been deleted: " + Path;
        return false;
    case ERROR_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD:
    case ERROR_WRITE_PROTECT:
        Fault.Error = TRegError::AccessDenied;
        break;
    case ERROR_FILENAME_EXCED_RANGE:
        Fault.Error = TRegError::TooLong;
        break;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
        Fault.Error = TRegError::InvalidName;
        break;
    case ERROR_BADDB:
    case ERROR_BADKEY:
    case ERROR_REGISTRY_CORRUPT:
        Fault.Error = TRegError::Damaged;
        break;
    default:
        Fault.Error = TRegError::IoError;
        break;
    }
    Fault.Text = std::string(What) + ": " + SystemText(Code) + " (" + Path + ")";
    return false;
}

std::string Joined(const std::vector<TKeyName>& Names) {
    std::string Path;
    for (const TKeyName& N : Names) {
        if (!Path.empty())
            Path.push_back('\\');
        Path.append(N.Name);
    }
    return Path;
}

// A value's data as the registry holds it, into a value of the contract.
void DataToValue(DWORD Kind, const BYTE* Data, DWORD Size, TRegValue& V) {
    V.Kind = Kind;
    V.Type = TypeOfKind(Kind);
    V.Text.clear();
    V.Bytes.clear();
    V.Int = 0;
    if (V.Type == TRegValueType::Text) {
        // UTF-16 units, mostly ending in one NUL that is not part of the text.
        size_t Units = Size / 2;
        std::u16string U(Units, u'\0');
        if (Units)
            std::memcpy(U.data(), Data, Units * 2);
        if (!U.empty() && U.back() == u'\0')
            U.pop_back();
        V.Text = unicode::Utf16ToUtf8(U);
    } else if (V.Type == TRegValueType::Int32 && Size == 4) {
        std::uint32_t N;
        std::memcpy(&N, Data, 4);
        V.Int = static_cast<std::int32_t>(N);
    } else {
        // Another type, or a 32-bit integer whose data is not 4 bytes
        // (written by some other tool): the raw bytes, nothing lost.
        V.Type = TRegValueType::Other;
        V.Bytes.assign(reinterpret_cast<const char*>(Data), Size);
    }
}

class TWinTx : public TBackendTx {
public:
    TWinTx(std::string Place, bool ForWrite) : FPlace(std::move(Place)), FWrite(ForWrite) {}

    bool Begin(TFault& Fault);

    TKeyRef Root() override { return FRoot; }
    bool Alive(TFault&) override { return true; }
    bool Commit(TFault&) override { return true; } // everything is written already
    void Rollback() override {}
    bool OpenKey(const TKeyRef& Parent, const std::vector<TKeyName>& Names, bool Create,
                 std::string_view Whole, TKeyRef& Key, TFault& Fault) override;
    bool DeleteKey(const std::vector<TKeyName>& Names, std::string_view Whole, TFault& Fault) override;
    bool SubKeyNames(const TKeyRef& Key, std::vector<std::string>& Names, TFault& Fault) override;
    bool Values(const TKeyRef& Key, std::vector<TRegValue>& Values, TFault& Fault) override;
    bool SubKeysWithValues(const TKeyRef& Key, std::vector<TRegSubKey>& Subs, TFault& Fault) override;
    bool ReadValue(const TKeyRef& Key, std::string_view Name, const std::string& Fold, TRegValue& Value,
                   TFault& Fault) override;
    bool WriteValue(const TKeyRef& Key, std::string_view KeyPath, const TRegValue& Value,
                    const std::string& Fold, TFault& Fault) override;
    bool DeleteValue(const TKeyRef& Key, std::string_view Name, const std::string& Fold,
                     TFault& Fault) override;

private:
    std::string Shown(std::string_view Path) const {
        return Path.empty() ? FPlace : FPlace + "\\" + std::string(Path);
    }
    bool ListValues(HKEY Key, std::vector<TRegValue>& Values, std::string_view Path, TFault& Fault);

    std::string FPlace; // the root's place, as texts show it
    bool FWrite;
    bool FMissing = false; // the root's key does not exist (read only): an empty root
    TKeyRef FRoot;
};

bool TWinTx::Begin(TFault& Fault) {
    TWin32Place Place;
    if (!ParsePlace(FPlace, Place)) {
        Fault.Error = TRegError::InvalidName;
        Fault.Text =
            "the store's place is not a registry key under HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE: " +
            FPlace;
        return false;
    }
    FPlace = Place.Shown;
    if (Place.SubKey.empty()) {
        FRoot = std::make_shared<TWinKey>(Place.Root, false);
        return true;
    }
    HKEY H = nullptr;
    LONG Rc = FWrite ? RegCreateKeyExW(Place.Root, Place.SubKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                       KEY_READ | KEY_WRITE | StoreView, nullptr, &H, nullptr)
                     : RegOpenKeyExW(Place.Root, Place.SubKey.c_str(), 0, KEY_READ | StoreView, &H);
    if (Rc == ERROR_FILE_NOT_FOUND && !FWrite) {
        FMissing = true;
        FRoot = std::make_shared<TWinKey>(Place.Root, false); // never used for a call
        return true;
    }
    if (Rc != ERROR_SUCCESS)
        return Fail(Fault, Rc, FWrite ? "cannot open the store for writing" : "cannot read the store",
                    FPlace);
    FRoot = std::make_shared<TWinKey>(H, true);
    return true;
}

bool TWinTx::OpenKey(const TKeyRef& Parent, const std::vector<TKeyName>& Names, bool Create,
                     std::string_view Whole, TKeyRef& Key, TFault& Fault) {
    if (Names.empty()) {
        Key = Parent;
        return true;
    }
    if (FMissing) {
        Fault.Error = TRegError::NotFound;
        return false;
    }
    std::wstring Path = Wide(Joined(Names));
    HKEY H = nullptr;
    LONG Rc;
    if (Create) {
        Rc = RegCreateKeyExW(HandleOf(Parent), Path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_READ | KEY_WRITE | StoreView, nullptr, &H, nullptr);
    } else {
        Rc = RegOpenKeyExW(HandleOf(Parent), Path.c_str(), 0,
                           (FWrite ? KEY_READ | KEY_WRITE : KEY_READ) | StoreView, &H);
        // A key we may read but not write: its writes fail when they come.
        if (Rc == ERROR_ACCESS_DENIED && FWrite)
            Rc = RegOpenKeyExW(HandleOf(Parent), Path.c_str(), 0, KEY_READ | StoreView, &H);
    }
    if (Rc != ERROR_SUCCESS)
        return Fail(Fault, Rc, Create ? "cannot create the key" : "cannot open the key", Shown(Whole));
    Key = std::make_shared<TWinKey>(H, true);
    return true;
}

// The registry deletes a tree key by key: when it is refused part way, what
// was deleted before stays deleted, and the text says so.
bool TWinTx::DeleteKey(const std::vector<TKeyName>& Names, std::string_view Whole, TFault& Fault) {
    if (FMissing) {
        Fault.Error = TRegError::NotFound;
        return false;
    }
    std::wstring Path = Wide(Joined(Names));
    HKEY H = nullptr;
    LONG Rc =
        RegOpenKeyExW(HandleOf(FRoot), Path.c_str(), 0, DELETE | KEY_READ | KEY_SET_VALUE | StoreView, &H);
    if (Rc != ERROR_SUCCESS)
        return Fail(Fault, Rc, "cannot delete the key", Shown(Whole));
    Rc = RegDeleteTreeW(H, nullptr); // what is below it
    RegCloseKey(H);
    if (Rc == ERROR_SUCCESS)
        Rc = RegDeleteKeyExW(HandleOf(FRoot), Path.c_str(), StoreView, 0);
    if (Rc != ERROR_SUCCESS) {
        Fail(Fault, Rc, "cannot delete the key", Shown(Whole));
        if (Fault.Error != TRegError::NotFound)
            Fault.Text += "; what lay below it may be deleted in part";
        return false;
    }
    return true;
}

bool TWinTx::SubKeyNames(const TKeyRef& Key, std::vector<std::string>& Names, TFault& Fault) {
    if (FMissing)
        return true;
    wchar_t Name[MaxKeyNameLength + 2];
    for (DWORD I = 0;; ++I) {
        DWORD Len = MaxKeyNameLength + 2;
        LONG Rc = RegEnumKeyExW(HandleOf(Key), I, Name, &Len, nullptr, nullptr, nullptr, nullptr);
        if (Rc == ERROR_NO_MORE_ITEMS)
            return true;
        if (Rc != ERROR_SUCCESS)
            return Fail(Fault, Rc, "cannot list the sub-keys", FPlace);
        Names.push_back(Narrow(Name, Len));
    }
}

bool TWinTx::ListValues(HKEY Key, std::vector<TRegValue>& Values, std::string_view Path, TFault& Fault) {
    std::vector<wchar_t> Name(256);
    std::vector<BYTE> Data(256);
    for (DWORD I = 0;;) {
        DWORD NameLen = static_cast<DWORD>(Name.size());
        DWORD Size = static_cast<DWORD>(Data.size());
        DWORD Kind = 0;
        LONG Rc = RegEnumValueW(Key, I, Name.data(), &NameLen, nullptr, &Kind, Data.data(), &Size);
        if (Rc == ERROR_NO_MORE_ITEMS)
            return true;
        if (Rc == ERROR_MORE_DATA) {
            // Ask for the longest name and data of the key, and try this one again.
            DWORD MaxName = 0, MaxData = 0;
            Rc = RegQueryInfoKeyW(Key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  &MaxName, &MaxData, nullptr, nullptr);
            if (Rc != ERROR_SUCCESS)
                return Fail(Fault, Rc, "cannot read the values", Shown(Path));
            if (MaxName + 1 <= Name.size() && MaxData <= Data.size()) // grew in between: grow past it
                MaxData = static_cast<DWORD>(Data.size() * 2);
            Name.resize(std::max<size_t>(Name.size(), MaxName + 1));
            Data.resize(std::max<size_t>(Data.size(), MaxData));
            continue;
        }
        if (Rc != ERROR_SUCCESS)
            return Fail(Fault, Rc, "cannot read the values", Shown(Path));
        TRegValue& V = Values.emplace_back();
        DataToValue(Kind, Data.data(), Size, V);
        V.Name = Narrow(Name.data(), NameLen);
        ++I;
    }
}

bool TWinTx::Values(const TKeyRef& Key, std::vector<TRegValue>& Values, TFault& Fault) {
    return FMissing || ListValues(HandleOf(Key), Values, "", Fault);
}

bool TWinTx::SubKeysWithValues(const TKeyRef& Key, std::vector<TRegSubKey>& Subs, TFault& Fault) {
    std::vector<std::string> Names;
    if (!SubKeyNames(Key, Names, Fault))
        return false;
    for (std::string& Name : Names) {
        HKEY H = nullptr;
        LONG Rc = RegOpenKeyExW(HandleOf(Key), Wide(Name).c_str(), 0, KEY_READ | StoreView, &H);
        if (Rc == ERROR_FILE_NOT_FOUND)
            continue; // deleted since it was listed
        TRegSubKey& Sub = Subs.emplace_back();
        Sub.Name = std::move(Name);
        if (Rc != ERROR_SUCCESS)
            continue; // one we may not read: listed, without values
        bool Ok = ListValues(H, Sub.Values, Sub.Name, Fault);
        RegCloseKey(H);
        if (!Ok)
            return false;
    }
    return true;
}

bool TWinTx::ReadValue(const TKeyRef& Key, std::string_view Name, const std::string&, TRegValue& Value,
                       TFault& Fault) {
    if (FMissing) {
        Fault.Error = TRegError::NotFound;
        return false;
    }
    std::wstring WName = Wide(Name);
    std::vector<BYTE> Data(256);
    for (;;) {
        DWORD Size = static_cast<DWORD>(Data.size());
        DWORD Kind = 0;
        LONG Rc = RegQueryValueExW(HandleOf(Key), WName.c_str(), nullptr, &Kind, Data.data(), &Size);
        if (Rc == ERROR_MORE_DATA) {
            Data.resize(std::max<size_t>(Size, Data.size() * 2));
            continue;
        }
        if (Rc != ERROR_SUCCESS)
            return Fail(Fault, Rc, "cannot read the value", Shown(std::string(Name)));
        DataToValue(Kind, Data.data(), Size, Value);
        Value.Name.assign(Name); // the registry does not tell the stored spelling here
        return true;
    }
}

bool TWinTx::WriteValue(const TKeyRef& Key, std::string_view KeyPath, const TRegValue& Value,
                        const std::string&, TFault& Fault) {
    std::wstring WName = Wide(Value.Name);
    std::u16string Text;
    std::uint32_t Int = static_cast<std::uint32_t>(Value.Int);
    const BYTE* Data;
    size_t Size;
    if (Value.Type == TRegValueType::Text) {
        Text = unicode::Utf8ToUtf16(Value.Text);
        Text.push_back(u'\0'); // stored with its end, as every program expects
        Data = reinterpret_cast<const BYTE*>(Text.data());
        Size = Text.size() * 2;
    } else if (Value.Type == TRegValueType::Int32) {
        Data = reinterpret_cast<const BYTE*>(&Int);
        Size = 4;
    } else {
        Data = reinterpret_cast<const BYTE*>(Value.Bytes.data());
        Size = Value.Bytes.size();
    }
    if (Size > 0xFFFFFFFFu) {
        Fault.Error = TRegError::TooLong;
        Fault.Text = "a value holds at most 4 GiB: " + Value.Name;
        return false;
    }
    LONG Rc = RegSetValueExW(HandleOf(Key), WName.c_str(), 0, Value.Kind, Data, static_cast<DWORD>(Size));
    return Rc == ERROR_SUCCESS || Fail(Fault, Rc, "cannot write the value", Shown(KeyPath));
}

bool TWinTx::DeleteValue(const TKeyRef& Key, std::string_view Name, const std::string&, TFault& Fault) {
    LONG Rc = RegDeleteValueW(HandleOf(Key), Wide(Name).c_str());
    return Rc == ERROR_SUCCESS || Fail(Fault, Rc, "cannot delete the value", FPlace);
}

} // namespace

std::unique_ptr<TBackendTx> BeginTransaction(TRegRoot, bool ForWrite, const std::string& Path,
                                             TFault& Fault) {
    auto Tx = std::make_unique<TWinTx>(Path, ForWrite);
    if (!Tx->Begin(Fault))
        return nullptr;
    return Tx;
}

} // namespace detail
} // namespace wdx::registry
