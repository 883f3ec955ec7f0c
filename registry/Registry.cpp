// The contract of TRegTransaction and TRegKey over this build's back-end:
// transaction state, the checks of names, types and limits, and their texts.

#include "registry/Registry.h"

#include "registry/Backend.h"

#include <algorithm>

namespace wdx::registry {

using detail::TFault;
using detail::TKeyName;
using detail::TKeyRef;

namespace {

bool ValidValueName(std::string_view Name, std::string& Fold) {
    return Name.find('\0') == std::string_view::npos && FoldName(Name, Fold);
}

// "1,234" for the limit texts.
std::string Grouped(std::size_t N) {
    std::string S = std::to_string(N);
    for (int I = static_cast<int>(S.size()) - 3; I > 0; I -= 3)
        S.insert(static_cast<size_t>(I), ",");
    return S;
}

// The start of a long name, for a message.
std::string Shortened(std::string_view Name) {
    if (Name.size() <= 40)
        return std::string(Name);
    size_t End = 40;
    while (End > 0 && (static_cast<unsigned char>(Name[End]) & 0xC0) == 0x80)
        --End;
    return std::string(Name.substr(0, End)) + "...";
}

std::string_view Trimmed(std::string_view Path) {
    // Leading and trailing separators are tolerated; an empty name inside is not.
    while (!Path.empty() && Path.front() == '\\')
        Path.remove_prefix(1);
    while (!Path.empty() && Path.back() == '\\')
        Path.remove_suffix(1);
    return Path;
}

} // namespace

namespace detail {

TRegError ValueNameProblem(std::string_view Name, std::string& Fold, std::string& Text) {
    if (!ValidValueName(Name, Fold)) {
        Text = "invalid value name";
        return TRegError::InvalidName;
    }
    if (std::size_t N = Utf16Length(Name); N > MaxValueNameLength) {
        Text = "a value name has at most " + Grouped(MaxValueNameLength) + " characters; \"" +
               Shortened(Name) + "\" has " + Grouped(N);
        return TRegError::TooLong;
    }
    return TRegError::None;
}

// Names (one or more, separated by "\") may be created Depth levels below the
// root as far as the registry's limits go. Checked before anything is created.
TRegError KeyLimitsProblem(std::string_view Names, std::size_t Depth, std::string& Text) {
    for (size_t Pos = 0; Pos <= Names.size(); ++Depth) {
        size_t End = std::min(Names.find('\\', Pos), Names.size());
        std::string_view Name = Names.substr(Pos, End - Pos);
        if (std::size_t N = Utf16Length(Name); N > MaxKeyNameLength) {
            Text = "a key name has at most " + Grouped(MaxKeyNameLength) + " characters; \"" +
                   Shortened(Name) + "\" has " + Grouped(N);
            return TRegError::TooLong;
        }
        Pos = End + 1;
    }
    if (Depth > MaxKeyDepth) {
        Text = "a key path has at most " + Grouped(MaxKeyDepth) + " levels below its root; this one has " +
               Grouped(Depth);
        return TRegError::TooLong;
    }
    return TRegError::None;
}

// The names of a trimmed path, each checked; none for the root.
TRegError SplitKeyPath(std::string_view Path, std::vector<TKeyName>& Names, std::string& Text) {
    Names.clear();
    for (size_t Pos = 0; Pos < Path.size();) {
        size_t End = std::min(Path.find('\\', Pos), Path.size());
        TKeyName& N = Names.emplace_back();
        N.Name = Path.substr(Pos, End - Pos);
        if (N.Name.empty() || N.Name.find('\0') != std::string_view::npos || !FoldName(N.Name, N.Fold)) {
            Text = "invalid key name in \"" + std::string(Path) + "\"";
            return TRegError::InvalidName;
        }
        Pos = End + 1;
    }
    return TRegError::None;
}

} // namespace detail

bool CheckKeyPath(std::string_view Path, bool ForCreate, TRegError& Error, std::string& Text) {
    Path = Trimmed(Path);
    std::vector<TKeyName> Names;
    Error = ForCreate && !Path.empty() ? detail::KeyLimitsProblem(Path, 0, Text) : TRegError::None;
    if (Error == TRegError::None)
        Error = detail::SplitKeyPath(Path, Names, Text);
    return Error == TRegError::None;
}

bool CheckValueName(std::string_view Name, TRegError& Error, std::string& Text) {
    std::string Fold;
    Error = detail::ValueNameProblem(Name, Fold, Text);
    return Error == TRegError::None;
}

// ---------------------------------------------------------------- transaction

TRegTransaction::TRegTransaction(TRegRoot Root, TRegAccess Access)
    : FRoot(Root), FAccess(Access), FPath(StorePath(Root)) {
    TFault Fault;
    FImpl = detail::BeginTransaction(Root, IsWrite(), FPath, Fault);
    if (!FImpl) {
        Fail(Fault.Error, std::move(Fault.Text));
        return;
    }
    FActive = true;
}

TRegTransaction::~TRegTransaction() {
    Rollback();
}

bool TRegTransaction::Fail(TRegError Error, std::string Text) {
    FError = Error;
    FErrorText = std::move(Text);
    return false;
}

// A back-end's failure; Subject names the key path or value for the
// contract's own texts.
bool TRegTransaction::Failed(TFault& Fault, std::string_view Subject, bool IsValue) {
    if (Fault.Ended)
        FActive = false;
    if (Fault.Text.empty() && Fault.Error == TRegError::NotFound)
        Fault.Text = (IsValue ? "value not found: " : "key not found: ") + std::string(Subject);
    return Fail(Fault.Error, std::move(Fault.Text));
}

bool TRegTransaction::Usable(bool ForWrite) {
    if (!FActive)
        return Fail(TRegError::Closed, "the store transaction has ended");
    if (ForWrite && !IsWrite())
        return Fail(TRegError::Closed, "the store transaction is read-only");
    TFault Fault;
    if (!FImpl->Alive(Fault))
        return Failed(Fault, "", false);
    FError = TRegError::None;
    FErrorText.clear();
    return true;
}

bool TRegTransaction::Commit() {
    if (!Usable(false))
        return false;
    TFault Fault;
    bool Saved = FImpl->Commit(Fault);
    FActive = false;
    if (!Saved) {
        FImpl->Rollback();
        return Failed(Fault, "", false);
    }
    return true;
}

void TRegTransaction::Rollback() {
    if (FImpl)
        FImpl->Rollback();
    FActive = false;
}

bool TRegTransaction::WithinKeyLimits(std::string_view Names, std::size_t Depth) {
    std::string Text;
    TRegError Problem = detail::KeyLimitsProblem(Names, Depth, Text);
    return Problem == TRegError::None || Fail(Problem, std::move(Text));
}

bool TRegTransaction::SplitPath(std::string_view Path, std::vector<TKeyName>& Names) {
    std::string Text;
    TRegError Problem = detail::SplitKeyPath(Path, Names, Text);
    return Problem == TRegError::None || Fail(Problem, std::move(Text));
}

bool TRegTransaction::Resolve(std::string_view Path, bool Create, TRegKey& Key) {
    Key.Close();
    if (!Usable(Create))
        return false;
    Path = Trimmed(Path);
    if (Create && !Path.empty() && !WithinKeyLimits(Path, 0))
        return false;
    std::vector<TKeyName> Names;
    if (!SplitPath(Path, Names))
        return false;
    TFault Fault;
    TKeyRef Found;
    if (!FImpl->OpenKey(FImpl->Root(), Names, Create, Path, Found, Fault))
        return Failed(Fault, Path, false);
    Key.FTx = this;
    Key.FKey = std::move(Found);
    Key.FDepth = Names.size();
    Key.FPath.assign(Path);
    return true;
}

bool TRegTransaction::OpenKey(std::string_view Path, TRegKey& Key) {
    return Resolve(Path, false, Key);
}
bool TRegTransaction::CreateKey(std::string_view Path, TRegKey& Key) {
    return Resolve(Path, true, Key);
}

bool TRegTransaction::DeleteKey(std::string_view Path) {
    if (!Usable(true))
        return false;
    Path = Trimmed(Path);
    std::vector<TKeyName> Names;
    if (!SplitPath(Path, Names))
        return false;
    if (Names.empty())
        return Fail(TRegError::InvalidName, "the root key cannot be deleted");
    TFault Fault;
    return FImpl->DeleteKey(Names, Path, Fault) || Failed(Fault, Path, false);
}

// ------------------------------------------------------------------------ key

bool TRegKey::Child(std::string_view Name, bool Create, TRegKey& Key) const {
    TRegTransaction* Tx = FTx;
    if (!Tx || !Tx->Usable(Create)) {
        Key.Close();
        return false;
    }
    std::vector<TKeyName> Names(1);
    Names[0].Name = Name;
    std::string Path = FPath.empty() ? std::string(Name) : FPath + "\\" + std::string(Name);
    TFault Fault;
    TKeyRef Found;
    bool Ok;
    if (Name.empty() || Name.find('\\') != std::string_view::npos ||
        Name.find('\0') != std::string_view::npos || !FoldName(Name, Names[0].Fold))
        Ok = Tx->Fail(TRegError::InvalidName, "invalid key name \"" + std::string(Name) + "\"");
    else if (Create && !Tx->WithinKeyLimits(Name, FDepth))
        Ok = false;
    else if (!Tx->FImpl->OpenKey(FKey, Names, Create, Path, Found, Fault))
        Ok = Tx->Failed(Fault, Path, false);
    else
        Ok = true;
    // Key may be this very key: its fields are not needed any more.
    if (!Ok) {
        Key.Close();
        return false;
    }
    Key.FTx = Tx;
    Key.FKey = std::move(Found);
    Key.FDepth = FDepth + 1;
    Key.FPath = std::move(Path);
    return true;
}

bool TRegKey::OpenSubKey(std::string_view Name, TRegKey& Key) const {
    return Child(Name, false, Key);
}
bool TRegKey::CreateSubKey(std::string_view Name, TRegKey& Key) const {
    return Child(Name, true, Key);
}

bool TRegKey::SubKeyNames(std::vector<std::string>& Names) const {
    Names.clear();
    if (!FTx || !FTx->Usable(false))
        return false;
    TFault Fault;
    if (FTx->FImpl->SubKeyNames(FKey, Names, Fault))
        return true;
    Names.clear();
    return FTx->Failed(Fault, FPath, false);
}

bool TRegKey::Values(std::vector<TRegValue>& Values) const {
    Values.clear();
    if (!FTx || !FTx->Usable(false))
        return false;
    TFault Fault;
    if (FTx->FImpl->Values(FKey, Values, Fault))
        return true;
    Values.clear();
    return FTx->Failed(Fault, FPath, false);
}

bool TRegKey::SubKeysWithValues(std::vector<TRegSubKey>& Subs) const {
    Subs.clear();
    if (!FTx || !FTx->Usable(false))
        return false;
    TFault Fault;
    if (FTx->FImpl->SubKeysWithValues(FKey, Subs, Fault))
        return true;
    Subs.clear();
    return FTx->Failed(Fault, FPath, false);
}

bool TRegKey::ReadValue(std::string_view Name, TRegValue& Value) const {
    if (!FTx || !FTx->Usable(false))
        return false;
    std::string Fold;
    if (!ValidValueName(Name, Fold))
        return FTx->Fail(TRegError::InvalidName, "invalid value name");
    TFault Fault;
    return FTx->FImpl->ReadValue(FKey, Name, Fold, Value, Fault) || FTx->Failed(Fault, Name, true);
}

bool TRegKey::GetValueType(std::string_view Name, TRegValueType& Type) const {
    TRegValue V;
    if (!ReadValue(Name, V))
        return false;
    Type = V.Type;
    return true;
}

bool TRegKey::ReadText(std::string_view Name, std::string& Value) const {
    TRegValue V;
    if (!ReadValue(Name, V))
        return false;
    if (V.Type != TRegValueType::Text)
        return FTx->Fail(TRegError::WrongType, "value is not text: " + std::string(Name));
    Value = std::move(V.Text);
    return true;
}

bool TRegKey::ReadInt32(std::string_view Name, std::int32_t& Value) const {
    TRegValue V;
    if (!ReadValue(Name, V))
        return false;
    if (V.Type != TRegValueType::Int32)
        return FTx->Fail(TRegError::WrongType, "value is not a 32-bit integer: " + std::string(Name));
    Value = V.Int;
    return true;
}

bool TRegKey::WriteValue(const TRegValue& Value) {
    if (!FTx || !FTx->Usable(true))
        return false;
    std::string Fold, Text;
    if (TRegError Problem = detail::ValueNameProblem(Value.Name, Fold, Text); Problem != TRegError::None)
        return FTx->Fail(Problem, std::move(Text));
    if (detail::TypeOfKind(Value.Kind) != Value.Type)
        return FTx->Fail(TRegError::WrongType, "value type and type number disagree");
    TFault Fault;
    return FTx->FImpl->WriteValue(FKey, FPath, Value, Fold, Fault) || FTx->Failed(Fault, Value.Name, true);
}

bool TRegKey::WriteText(std::string_view Name, std::string_view Value) {
    TRegValue V;
    V.Name.assign(Name);
    V.Text.assign(Value);
    return WriteValue(V);
}

bool TRegKey::WriteInt32(std::string_view Name, std::int32_t Value) {
    TRegValue V;
    V.Name.assign(Name);
    V.Type = TRegValueType::Int32;
    V.Kind = RegKindInt32;
    V.Int = Value;
    return WriteValue(V);
}

bool TRegKey::DeleteValue(std::string_view Name) {
    if (!FTx || !FTx->Usable(true))
        return false;
    std::string Fold;
    if (!ValidValueName(Name, Fold))
        return FTx->Fail(TRegError::InvalidName, "invalid value name");
    TFault Fault;
    return FTx->FImpl->DeleteValue(FKey, Name, Fold, Fault) || FTx->Failed(Fault, Name, true);
}

} // namespace wdx::registry
