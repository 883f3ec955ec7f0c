#include "registry/Registry.h"

#include "registry/StoreDb.h"
#include "registry/WriteQueue.h"

namespace wdx::registry {

using detail::TStmtRun;

namespace {

bool ValidValueName(std::string_view Name, std::string& Fold) {
    return Name.find('\0') == std::string_view::npos && FoldName(Name, Fold);
}

int BindText(sqlite3_stmt* S, int I, std::string_view T) {
    return sqlite3_bind_text(S, I, T.data(), static_cast<int>(T.size()), SQLITE_STATIC);
}

TRegValueType TypeOfKind(std::int64_t Kind) {
    return Kind == RegKindText    ? TRegValueType::Text
           : Kind == RegKindInt32 ? TRegValueType::Int32
                                  : TRegValueType::Other;
}

// Columns (name, type, data) from First on into a value.
void RowToValue(sqlite3_stmt* S, TRegValue& V, int First = 0) {
    const auto* N = reinterpret_cast<const char*>(sqlite3_column_text(S, First));
    V.Name.assign(N ? N : "", sqlite3_column_bytes(S, First));
    std::int64_t Kind = sqlite3_column_int64(S, First + 1);
    V.Kind = static_cast<std::uint32_t>(Kind);
    V.Type = TypeOfKind(Kind);
    V.Text.clear();
    V.Bytes.clear();
    V.Int = 0;
    if (V.Type == TRegValueType::Text) {
        const auto* T = reinterpret_cast<const char*>(sqlite3_column_text(S, First + 2));
        V.Text.assign(T ? T : "", sqlite3_column_bytes(S, First + 2));
    } else if (V.Type == TRegValueType::Int32) {
        V.Int = static_cast<std::int32_t>(static_cast<std::uint32_t>(sqlite3_column_int64(S, First + 2)));
    } else {
        const auto* B = static_cast<const char*>(sqlite3_column_blob(S, First + 2));
        V.Bytes.assign(B ? B : "", sqlite3_column_bytes(S, First + 2));
    }
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

} // namespace

// ---------------------------------------------------------------- transaction

TRegTransaction::TRegTransaction(TRegRoot Root, TRegAccess Access)
    : FRoot(Root), FAccess(Access), FPath(StorePath(Root)) {
    if (IsWrite()) {
        // Wait in line first, so that SQLite's lock is free, or nearly, when we ask for it.
        FTurn = std::make_unique<detail::TWriteTurn>();
        TRegError Error = TRegError::None;
        std::string Text;
        if (!FTurn->Take(FPath, Error, Text)) {
            Fail(Error, std::move(Text));
            return;
        }
    }
    detail::TAcquired A = detail::AcquireDb(FPath, IsWrite());
    if (A.Error != TRegError::None) {
        Fail(A.Error, std::move(A.Text));
        if (FTurn)
            FTurn->Release();
        return;
    }
    FActive = true;
    if (A.Missing)
        return;
    FDb = std::move(A.Db);
    if (!FDb->HasSchema) { // an empty database read: nothing in it
        detail::ReleaseDb(std::move(FDb));
        return;
    }
    TStmtRun Begin(FDb->Stmt(IsWrite() ? detail::stBeginWrite : detail::stBegin));
    if (!Begin || sqlite3_step(*Begin) != SQLITE_DONE) {
        FailDb(IsWrite() ? "cannot lock the store for writing" : "cannot read the store");
        return;
    }
    FBegun = true;
    if (IsWrite()) {
        // Our own writes do not show in the data version: forget the key ids.
        FDb->KeyIds.clear();
        FDb->DataVersion = -1;
        return;
    }
    // This also takes the read lock, so the version belongs to our snapshot.
    TStmtRun Version(FDb->Stmt(detail::stDataVersion));
    if (!Version || sqlite3_step(*Version) != SQLITE_ROW) {
        FailDb("cannot read the store");
        return;
    }
    std::int64_t V = sqlite3_column_int64(*Version, 0);
    if (V != FDb->DataVersion) {
        FDb->KeyIds.clear();
        FDb->DataVersion = V;
    }
}

TRegTransaction::~TRegTransaction() {
    Rollback();
}

bool TRegTransaction::Fail(TRegError Error, std::string Text) {
    FError = Error;
    FErrorText = std::move(Text);
    return false;
}

// A database failure ends the transaction: SQLite may already have rolled it
// back, and going on would run the rest outside any transaction.
bool TRegTransaction::FailDb(const char* What) {
    sqlite3* H = FDb ? FDb->Db() : nullptr;
    int Code = H ? sqlite3_extended_errcode(H) : SQLITE_NOMEM;
    Fail(detail::MapSqliteError(Code, H ? sqlite3_system_errno(H) : 0),
         detail::DescribeFailure(H, FPath, What));
    if (H && !sqlite3_get_autocommit(H))
        sqlite3_exec(H, "ROLLBACK", nullptr, nullptr, nullptr);
    // Closed when the transaction goes (a statement may still be in use
    // here), and never kept: its state is unknown.
    FBroken = true;
    FActive = false;
    FBegun = false;
    if (FTurn)
        FTurn->Release();
    return false;
}

bool TRegTransaction::Usable(bool ForWrite) {
    if (!FActive)
        return Fail(TRegError::Closed, "the store transaction has ended");
    if (ForWrite && !IsWrite())
        return Fail(TRegError::Closed, "the store transaction is read-only");
    if (FDb && FBegun && sqlite3_get_autocommit(FDb->Db())) {
        FBroken = true;
        FBegun = false;
        FActive = false;
        if (FTurn)
            FTurn->Release();
        return Fail(TRegError::IoError, "the store transaction was rolled back (" + FPath + ")");
    }
    FError = TRegError::None;
    FErrorText.clear();
    return true;
}

bool TRegTransaction::Commit() {
    if (!Usable(false))
        return false;
    if (FDb && FBegun) {
        bool Saved;
        {
            TStmtRun C(FDb->Stmt(detail::stCommit));
            Saved = C && sqlite3_step(*C) == SQLITE_DONE;
        }
        if (!Saved) {
            FailDb("cannot save the changes");
            Rollback();
            return false;
        }
    }
    FActive = false;
    FBegun = false;
    if (FTurn)
        FTurn->Release();
    detail::ReleaseDb(std::move(FDb));
    return true;
}

void TRegTransaction::Rollback() {
    if (FDb && FBegun && !sqlite3_get_autocommit(FDb->Db())) {
        TStmtRun R(FDb->Stmt(detail::stRollback));
        if (!R || sqlite3_step(*R) != SQLITE_DONE)
            FDb.reset();
    }
    FActive = false;
    FBegun = false;
    if (FTurn)
        FTurn->Release();
    if (FBroken)
        FDb.reset();
    detail::ReleaseDb(std::move(FDb));
}

bool TRegTransaction::FindChild(std::int64_t Parent, const std::string& Fold, std::int64_t& Id) {
    TStmtRun S(FDb->Stmt(detail::stFindKey));
    if (!S)
        return FailDb("cannot read the store");
    sqlite3_bind_int64(*S, 1, Parent);
    BindText(*S, 2, Fold);
    int Rc = sqlite3_step(*S);
    if (Rc == SQLITE_ROW) {
        Id = sqlite3_column_int64(*S, 0);
        return true;
    }
    if (Rc != SQLITE_DONE)
        return FailDb("cannot read the store");
    return Fail(TRegError::NotFound, "");
}

// The child Name (folded: Fold) of Parent; created when missing and Create.
bool TRegTransaction::Step(std::int64_t Parent, std::string_view Name, const std::string& Fold, bool Create,
                           std::int64_t& Child, std::string_view Whole) {
    if (FindChild(Parent, Fold, Child))
        return true;
    if (FError != TRegError::NotFound)
        return false;
    if (!Create)
        return Fail(TRegError::NotFound, "key not found: " + std::string(Whole));
    TStmtRun Ins(FDb->Stmt(detail::stInsertKey));
    if (!Ins)
        return FailDb("cannot write the store");
    sqlite3_bind_int64(*Ins, 1, Parent);
    BindText(*Ins, 2, Fold);
    BindText(*Ins, 3, Name);
    if (sqlite3_step(*Ins) != SQLITE_DONE)
        return FailDb("cannot create the key");
    Child = sqlite3_last_insert_rowid(FDb->Db());
    return true;
}

// A handle to a key deleted in this transaction must not leave orphans.
bool TRegTransaction::KeyAlive(std::int64_t Id, const std::string& Path) {
    if (Id == 0)
        return true;
    TStmtRun A(FDb->Stmt(detail::stKeyAlive));
    if (!A)
        return FailDb("cannot write the store");
    sqlite3_bind_int64(*A, 1, Id);
    int Rc = sqlite3_step(*A);
    if (Rc == SQLITE_ROW)
        return true;
    if (Rc != SQLITE_DONE)
        return FailDb("cannot write the store");
    return Fail(TRegError::NotFound, "the key has been deleted: " + Path);
}

// Names (one or more, separated by "\") may be created Depth levels below the
// root as far as the registry's limits go. Checked before anything is created.
bool TRegTransaction::WithinKeyLimits(std::string_view Names, std::size_t Depth) {
    for (size_t Pos = 0; Pos <= Names.size(); ++Depth) {
        size_t End = std::min(Names.find('\\', Pos), Names.size());
        std::string_view Name = Names.substr(Pos, End - Pos);
        if (std::size_t N = Utf16Length(Name); N > MaxKeyNameLength)
            return Fail(TRegError::TooLong, "a key name has at most " + Grouped(MaxKeyNameLength) +
                                                " characters; \"" + Shortened(Name) + "\" has " + Grouped(N));
        Pos = End + 1;
    }
    if (Depth > MaxKeyDepth)
        return Fail(TRegError::TooLong, "a key path has at most " + Grouped(MaxKeyDepth) +
                                            " levels below its root; this one has " + Grouped(Depth));
    return true;
}

bool TRegTransaction::Resolve(std::string_view Path, bool Create, TRegKey& Key) {
    Key.Close();
    if (!Usable(Create))
        return false;
    // Leading and trailing separators are tolerated; an empty name inside is not.
    while (!Path.empty() && Path.front() == '\\')
        Path.remove_prefix(1);
    while (!Path.empty() && Path.back() == '\\')
        Path.remove_suffix(1);
    if (Create && !Path.empty() && !WithinKeyLimits(Path, 0))
        return false;
    std::int64_t Id = 0;
    std::size_t Depth = 0;
    std::string Fold, Prefix;
    size_t Pos = 0;
    const bool UseIds = FDb && !IsWrite();
    while (Pos < Path.size()) {
        size_t End = Path.find('\\', Pos);
        if (End == std::string_view::npos)
            End = Path.size();
        std::string_view Name = Path.substr(Pos, End - Pos);
        if (Name.empty() || Name.find('\0') != std::string_view::npos || !FoldName(Name, Fold))
            return Fail(TRegError::InvalidName, "invalid key name in \"" + std::string(Path) + "\"");
        if (!FDb)
            return Fail(TRegError::NotFound, "key not found: " + std::string(Path));
        std::int64_t Child = 0;
        const bool Inner = UseIds && End < Path.size(); // only keys above the one asked for are kept
        if (Inner) {
            if (!Prefix.empty())
                Prefix.push_back('\\');
            Prefix += Fold;
            if (auto It = FDb->KeyIds.find(Prefix); It != FDb->KeyIds.end()) {
                Id = It->second;
                Pos = End + 1;
                ++Depth;
                continue;
            }
        }
        if (!Step(Id, Name, Fold, Create, Child, Path))
            return false;
        if (Inner) {
            if (FDb->KeyIds.size() >= 256)
                FDb->KeyIds.clear();
            FDb->KeyIds.emplace(Prefix, Child);
        }
        Id = Child;
        Pos = End + 1;
        ++Depth;
    }
    Key.FTx = this;
    Key.FId = Id;
    Key.FDepth = Depth;
    Key.FPath.assign(Path);
    FError = TRegError::None;
    FErrorText.clear();
    return true;
}

bool TRegTransaction::OpenKey(std::string_view Path, TRegKey& Key) {
    return Resolve(Path, false, Key);
}
bool TRegTransaction::CreateKey(std::string_view Path, TRegKey& Key) {
    return Resolve(Path, true, Key);
}

bool TRegTransaction::DeleteKey(std::string_view Path) {
    TRegKey Key;
    if (!Resolve(Path, false, Key))
        return false;
    if (Key.FId == 0)
        return Fail(TRegError::InvalidName, "the root key cannot be deleted");
    for (auto Id : {detail::stDeleteTreeValues, detail::stDeleteTreeKeys}) {
        TStmtRun S(FDb->Stmt(Id));
        if (!S)
            return FailDb("cannot delete the key");
        sqlite3_bind_int64(*S, 1, Key.FId);
        if (sqlite3_step(*S) != SQLITE_DONE)
            return FailDb("cannot delete the key");
    }
    return true;
}

// ------------------------------------------------------------------------ key

bool TRegKey::Child(std::string_view Name, bool Create, TRegKey& Key) const {
    TRegTransaction* Tx = FTx;
    Key.Close();
    if (!Tx || !Tx->Usable(Create))
        return false;
    std::string Fold;
    if (Name.empty() || Name.find('\\') != std::string_view::npos ||
        Name.find('\0') != std::string_view::npos || !FoldName(Name, Fold))
        return Tx->Fail(TRegError::InvalidName, "invalid key name \"" + std::string(Name) + "\"");
    if (Create && !Tx->WithinKeyLimits(Name, FDepth))
        return false;
    std::string Path = FPath.empty() ? std::string(Name) : FPath + "\\" + std::string(Name);
    if (!Tx->FDb)
        return Tx->Fail(TRegError::NotFound, "key not found: " + Path);
    std::int64_t Id = 0;
    if ((Create && !Tx->KeyAlive(FId, FPath)) || !Tx->Step(FId, Name, Fold, Create, Id, Path))
        return false;
    Key.FTx = Tx;
    Key.FId = Id;
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
    if (!FTx->FDb)
        return true;
    TStmtRun S(FTx->FDb->Stmt(detail::stListKeys));
    if (!S)
        return FTx->FailDb("cannot read the store");
    sqlite3_bind_int64(*S, 1, FId);
    int Rc;
    while ((Rc = sqlite3_step(*S)) == SQLITE_ROW)
        Names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(*S, 0)),
                           sqlite3_column_bytes(*S, 0));
    if (Rc != SQLITE_DONE) {
        Names.clear();
        return FTx->FailDb("cannot read the store");
    }
    return true;
}

bool TRegKey::Values(std::vector<TRegValue>& Values) const {
    Values.clear();
    if (!FTx || !FTx->Usable(false))
        return false;
    if (!FTx->FDb)
        return true;
    TStmtRun S(FTx->FDb->Stmt(detail::stListValues));
    if (!S)
        return FTx->FailDb("cannot read the store");
    sqlite3_bind_int64(*S, 1, FId);
    Values.reserve(8);
    int Rc;
    while ((Rc = sqlite3_step(*S)) == SQLITE_ROW)
        RowToValue(*S, Values.emplace_back());
    if (Rc != SQLITE_DONE) {
        Values.clear();
        return FTx->FailDb("cannot read the store");
    }
    return true;
}

bool TRegKey::SubKeysWithValues(std::vector<TRegSubKey>& Subs) const {
    Subs.clear();
    if (!FTx || !FTx->Usable(false))
        return false;
    if (!FTx->FDb)
        return true;
    TStmtRun S(FTx->FDb->Stmt(detail::stListKeysValues));
    if (!S)
        return FTx->FailDb("cannot read the store");
    sqlite3_bind_int64(*S, 1, FId);
    int Rc;
    std::int64_t Last = -1;
    std::vector<std::int64_t> Seq; // of the current sub-key's values
    auto PutInOrder = [&] {
        // Few values per key: an insertion sort into first-write order.
        auto& V = Subs.back().Values;
        for (size_t I = 1; I < V.size(); ++I)
            for (size_t J = I; J > 0 && Seq[J - 1] > Seq[J]; --J) {
                std::swap(Seq[J - 1], Seq[J]);
                std::swap(V[J - 1], V[J]);
            }
    };
    while ((Rc = sqlite3_step(*S)) == SQLITE_ROW) {
        std::int64_t Id = sqlite3_column_int64(*S, 0);
        if (Id != Last) {
            if (Last != -1)
                PutInOrder();
            Last = Id;
            Seq.clear();
            Subs.emplace_back().Name.assign(reinterpret_cast<const char*>(sqlite3_column_text(*S, 1)),
                                            sqlite3_column_bytes(*S, 1));
            Subs.back().Values.reserve(8);
        }
        if (sqlite3_column_type(*S, 2) != SQLITE_NULL) { // NULL: a key without values
            RowToValue(*S, Subs.back().Values.emplace_back(), 2);
            Seq.push_back(sqlite3_column_int64(*S, 5));
        }
    }
    if (Rc != SQLITE_DONE) {
        Subs.clear();
        return FTx->FailDb("cannot read the store");
    }
    if (Last != -1)
        PutInOrder();
    return true;
}

bool TRegKey::ReadValue(std::string_view Name, TRegValue& Value) const {
    if (!FTx || !FTx->Usable(false))
        return false;
    std::string Fold;
    if (!ValidValueName(Name, Fold))
        return FTx->Fail(TRegError::InvalidName, "invalid value name");
    if (!FTx->FDb)
        return FTx->Fail(TRegError::NotFound, "value not found: " + std::string(Name));
    TStmtRun S(FTx->FDb->Stmt(detail::stFindValue));
    if (!S)
        return FTx->FailDb("cannot read the store");
    sqlite3_bind_int64(*S, 1, FId);
    BindText(*S, 2, Fold);
    int Rc = sqlite3_step(*S);
    if (Rc == SQLITE_ROW) {
        RowToValue(*S, Value);
        return true;
    }
    if (Rc != SQLITE_DONE)
        return FTx->FailDb("cannot read the store");
    return FTx->Fail(TRegError::NotFound, "value not found: " + std::string(Name));
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
    std::string Fold;
    if (!ValidValueName(Value.Name, Fold))
        return FTx->Fail(TRegError::InvalidName, "invalid value name");
    if (TypeOfKind(Value.Kind) != Value.Type)
        return FTx->Fail(TRegError::WrongType, "value type and type number disagree");
    if (std::size_t N = Utf16Length(Value.Name); N > MaxValueNameLength)
        return FTx->Fail(TRegError::TooLong, "a value name has at most " + Grouped(MaxValueNameLength) +
                                                 " characters; \"" + Shortened(Value.Name) + "\" has " +
                                                 Grouped(N));
    detail::TStoreDb& Db = *FTx->FDb;
    if (!FTx->KeyAlive(FId, FPath))
        return false;
    TStmtRun S(Db.Stmt(detail::stWriteValue));
    if (!S)
        return FTx->FailDb("cannot write the store");
    sqlite3_bind_int64(*S, 1, FId);
    BindText(*S, 2, Fold);
    BindText(*S, 3, Value.Name);
    sqlite3_bind_int64(*S, 4, Value.Kind);
    if (Value.Type == TRegValueType::Text)
        BindText(*S, 5, Value.Text);
    else if (Value.Type == TRegValueType::Int32)
        sqlite3_bind_int64(*S, 5, static_cast<std::uint32_t>(Value.Int));
    else
        sqlite3_bind_blob(*S, 5, Value.Bytes.data(), static_cast<int>(Value.Bytes.size()), SQLITE_STATIC);
    if (sqlite3_step(*S) != SQLITE_DONE)
        return FTx->FailDb("cannot write the value");
    return true;
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
    TStmtRun S(FTx->FDb->Stmt(detail::stDeleteValue));
    if (!S)
        return FTx->FailDb("cannot write the store");
    sqlite3_bind_int64(*S, 1, FId);
    BindText(*S, 2, Fold);
    if (sqlite3_step(*S) != SQLITE_DONE)
        return FTx->FailDb("cannot delete the value");
    if (sqlite3_changes(FTx->FDb->Db()) == 0)
        return FTx->Fail(TRegError::NotFound, "value not found: " + std::string(Name));
    return true;
}

} // namespace wdx::registry
