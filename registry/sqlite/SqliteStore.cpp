// The SQLite back-end: one database file per root (docs/store.md, "The file").

#include "registry/Backend.h"
#include "registry/sqlite/StoreDb.h"
#include "registry/sqlite/WriteQueue.h"

namespace wdx::registry {

const TStoreFeatures& StoreFeatures() {
    static const TStoreFeatures Features{"SQLite", true, false};
    return Features;
}

namespace detail {

namespace {

// A key is its row; the root has none and is 0.
class TSqliteKey : public TBackendKey {
public:
    explicit TSqliteKey(std::int64_t Id) : Id(Id) {}
    const std::int64_t Id;
};

std::int64_t IdOf(const TKeyRef& Key) {
    return static_cast<const TSqliteKey&>(*Key).Id;
}

int BindText(sqlite3_stmt* S, int I, std::string_view T) {
    return sqlite3_bind_text(S, I, T.data(), static_cast<int>(T.size()), SQLITE_STATIC);
}

// Columns (name, type, data) from First on into a value.
void RowToValue(sqlite3_stmt* S, TRegValue& V, int First = 0) {
    const auto* N = reinterpret_cast<const char*>(sqlite3_column_text(S, First));
    V.Name.assign(N ? N : "", sqlite3_column_bytes(S, First));
    std::int64_t Kind = sqlite3_column_int64(S, First + 1);
    V.Kind = static_cast<std::uint32_t>(Kind);
    V.Type = Kind == static_cast<std::uint32_t>(Kind) ? TypeOfKind(V.Kind) : TRegValueType::Other;
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

class TSqliteTx : public TBackendTx {
public:
    TSqliteTx(std::string Path, bool ForWrite) : FPath(std::move(Path)), FWrite(ForWrite) {}
    ~TSqliteTx() override { Rollback(); }

    bool Begin(TFault& Fault);

    TKeyRef Root() override { return FRoot; }
    bool Alive(TFault& Fault) override;
    bool Commit(TFault& Fault) override;
    void Rollback() override;
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
    bool FailDb(TFault& Fault, const char* What);
    void EndTurn() {
        if (FTurn)
            FTurn->Release();
    }
    bool FindChild(std::int64_t Parent, const std::string& Fold, std::int64_t& Id, TFault& Fault);
    bool Step(std::int64_t Parent, const TKeyName& Name, bool Create, std::int64_t& Child, TFault& Fault);
    bool KeyAlive(std::int64_t Id, std::string_view Path, TFault& Fault);

    std::string FPath;
    bool FWrite;
    TKeyRef FRoot = std::make_shared<TSqliteKey>(0);
    std::unique_ptr<TWriteTurn> FTurn; // write transactions: our turn among the writers
    std::unique_ptr<TStoreDb> FDb;     // null while the file does not exist (empty root)
    bool FBegun = false;
    bool FBroken = false; // a database failure ended it; the connection is not kept
};

bool TSqliteTx::Begin(TFault& Fault) {
    if (FWrite) {
        // Wait in line first, so that SQLite's lock is free, or nearly, when we ask for it.
        FTurn = std::make_unique<TWriteTurn>();
        if (!FTurn->Take(FPath, Fault.Error, Fault.Text))
            return false;
    }
    TAcquired A = AcquireDb(FPath, FWrite);
    if (A.Error != TRegError::None) {
        Fault.Error = A.Error;
        Fault.Text = std::move(A.Text);
        EndTurn();
        return false;
    }
    if (A.Missing)
        return true;
    FDb = std::move(A.Db);
    if (!FDb->HasSchema) { // an empty database read: nothing in it
        ReleaseDb(std::move(FDb));
        return true;
    }
    TStmtRun Begin(FDb->Stmt(FWrite ? stBeginWrite : stBegin));
    if (!Begin || sqlite3_step(*Begin) != SQLITE_DONE)
        return FailDb(Fault, FWrite ? "cannot lock the store for writing" : "cannot read the store");
    FBegun = true;
    if (FWrite) {
        // Our own writes do not show in the data version: forget the key ids.
        FDb->KeyIds.clear();
        FDb->DataVersion = -1;
        return true;
    }
    // This also takes the read lock, so the version belongs to our snapshot.
    TStmtRun Version(FDb->Stmt(stDataVersion));
    if (!Version || sqlite3_step(*Version) != SQLITE_ROW)
        return FailDb(Fault, "cannot read the store");
    std::int64_t V = sqlite3_column_int64(*Version, 0);
    if (V != FDb->DataVersion) {
        FDb->KeyIds.clear();
        FDb->DataVersion = V;
    }
    return true;
}

// A database failure ends the transaction: SQLite may already have rolled it
// back, and going on would run the rest outside any transaction.
bool TSqliteTx::FailDb(TFault& Fault, const char* What) {
    sqlite3* H = FDb ? FDb->Db() : nullptr;
    int Code = H ? sqlite3_extended_errcode(H) : SQLITE_NOMEM;
    Fault.Error = MapSqliteError(Code, H ? sqlite3_system_errno(H) : 0);
    Fault.Text = DescribeFailure(H, FPath, What);
    Fault.Ended = true;
    if (H && !sqlite3_get_autocommit(H))
        sqlite3_exec(H, "ROLLBACK", nullptr, nullptr, nullptr);
    // Closed when the transaction goes (a statement may still be in use
    // here), and never kept: its state is unknown.
    FBroken = true;
    FBegun = false;
    EndTurn();
    return false;
}

bool TSqliteTx::Alive(TFault& Fault) {
    if (FDb && FBegun && sqlite3_get_autocommit(FDb->Db())) {
        FBroken = true;
        FBegun = false;
        EndTurn();
        Fault.Error = TRegError::IoError;
        Fault.Text = "the store transaction was rolled back (" + FPath + ")";
        Fault.Ended = true;
        return false;
    }
    return true;
}

bool TSqliteTx::Commit(TFault& Fault) {
    if (FDb && FBegun) {
        bool Saved;
        {
            TStmtRun C(FDb->Stmt(stCommit));
            Saved = C && sqlite3_step(*C) == SQLITE_DONE;
        }
        if (!Saved)
            return FailDb(Fault, "cannot save the changes");
    }
    FBegun = false;
    EndTurn();
    ReleaseDb(std::move(FDb));
    return true;
}

void TSqliteTx::Rollback() {
    if (FDb && FBegun && !sqlite3_get_autocommit(FDb->Db())) {
        TStmtRun R(FDb->Stmt(stRollback));
        if (!R || sqlite3_step(*R) != SQLITE_DONE)
            FDb.reset();
    }
    FBegun = false;
    EndTurn();
    if (FBroken)
        FDb.reset();
    ReleaseDb(std::move(FDb));
}

bool TSqliteTx::FindChild(std::int64_t Parent, const std::string& Fold, std::int64_t& Id, TFault& Fault) {
    TStmtRun S(FDb->Stmt(stFindKey));
    if (!S)
        return FailDb(Fault, "cannot read the store");
    sqlite3_bind_int64(*S, 1, Parent);
    BindText(*S, 2, Fold);
    int Rc = sqlite3_step(*S);
    if (Rc == SQLITE_ROW) {
        Id = sqlite3_column_int64(*S, 0);
        return true;
    }
    if (Rc != SQLITE_DONE)
        return FailDb(Fault, "cannot read the store");
    Fault.Error = TRegError::NotFound;
    return false;
}

// The child Name of Parent; created when missing and Create.
bool TSqliteTx::Step(std::int64_t Parent, const TKeyName& Name, bool Create, std::int64_t& Child,
                     TFault& Fault) {
    if (FindChild(Parent, Name.Fold, Child, Fault))
        return true;
    if (Fault.Error != TRegError::NotFound || !Create)
        return false;
    Fault = TFault();
    TStmtRun Ins(FDb->Stmt(stInsertKey));
    if (!Ins)
        return FailDb(Fault, "cannot write the store");
    sqlite3_bind_int64(*Ins, 1, Parent);
    BindText(*Ins, 2, Name.Fold);
    BindText(*Ins, 3, Name.Name);
    if (sqlite3_step(*Ins) != SQLITE_DONE)
        return FailDb(Fault, "cannot create the key");
    Child = sqlite3_last_insert_rowid(FDb->Db());
    return true;
}

// A handle to a key deleted in this transaction must not leave orphans.
bool TSqliteTx::KeyAlive(std::int64_t Id, std::string_view Path, TFault& Fault) {
    if (Id == 0)
        return true;
    TStmtRun A(FDb->Stmt(stKeyAlive));
    if (!A)
        return FailDb(Fault, "cannot write the store");
    sqlite3_bind_int64(*A, 1, Id);
    int Rc = sqlite3_step(*A);
    if (Rc == SQLITE_ROW)
        return true;
    if (Rc != SQLITE_DONE)
        return FailDb(Fault, "cannot write the store");
    Fault.Error = TRegError::NotFound;
    Fault.Text = "the key has been deleted: " + std::string(Path);
    return false;
}

bool TSqliteTx::OpenKey(const TKeyRef& Parent, const std::vector<TKeyName>& Names, bool Create,
                        std::string_view Whole, TKeyRef& Key, TFault& Fault) {
    std::int64_t Id = IdOf(Parent);
    if (!Names.empty() && !FDb) {
        Fault.Error = TRegError::NotFound;
        return false;
    }
    if (Create && Id != 0) {
        size_t Below = 0; // the length of Names in Whole, with their separators
        for (const TKeyName& N : Names)
            Below += N.Name.size() + 1;
        if (!KeyAlive(Id, Whole.substr(0, Whole.size() > Below ? Whole.size() - Below : 0), Fault))
            return false;
    }
    // Keys above the one asked for, by folded path from the root, are kept
    // between read transactions while nobody writes the file.
    const bool UseIds = Id == 0 && FDb && !FWrite;
    std::string Prefix;
    for (size_t I = 0; I < Names.size(); ++I) {
        const bool Inner = UseIds && I + 1 < Names.size();
        if (Inner) {
            if (!Prefix.empty())
                Prefix.push_back('\\');
            Prefix += Names[I].Fold;
            if (auto It = FDb->KeyIds.find(Prefix); It != FDb->KeyIds.end()) {
                Id = It->second;
                continue;
            }
        }
        std::int64_t Child = 0;
        if (!Step(Id, Names[I], Create, Child, Fault))
            return false;
        if (Inner) {
            if (FDb->KeyIds.size() >= 256)
                FDb->KeyIds.clear();
            FDb->KeyIds.emplace(Prefix, Child);
        }
        Id = Child;
    }
    Key = Id == IdOf(Parent) ? Parent : std::make_shared<TSqliteKey>(Id);
    return true;
}

bool TSqliteTx::DeleteKey(const std::vector<TKeyName>& Names, std::string_view Whole, TFault& Fault) {
    TKeyRef Key;
    if (!OpenKey(FRoot, Names, false, Whole, Key, Fault))
        return false;
    for (auto S : {stDeleteTreeValues, stDeleteTreeKeys}) {
        TStmtRun R(FDb->Stmt(S));
        if (!R)
            return FailDb(Fault, "cannot delete the key");
        sqlite3_bind_int64(*R, 1, IdOf(Key));
        if (sqlite3_step(*R) != SQLITE_DONE)
            return FailDb(Fault, "cannot delete the key");
    }
    return true;
}

bool TSqliteTx::SubKeyNames(const TKeyRef& Key, std::vector<std::string>& Names, TFault& Fault) {
    if (!FDb)
        return true;
    TStmtRun S(FDb->Stmt(stListKeys));
    if (!S)
        return FailDb(Fault, "cannot read the store");
    sqlite3_bind_int64(*S, 1, IdOf(Key));
    int Rc;
    while ((Rc = sqlite3_step(*S)) == SQLITE_ROW)
        Names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(*S, 0)),
                           sqlite3_column_bytes(*S, 0));
    return Rc == SQLITE_DONE || FailDb(Fault, "cannot read the store");
}

bool TSqliteTx::Values(const TKeyRef& Key, std::vector<TRegValue>& Values, TFault& Fault) {
    if (!FDb)
        return true;
    TStmtRun S(FDb->Stmt(stListValues));
    if (!S)
        return FailDb(Fault, "cannot read the store");
    sqlite3_bind_int64(*S, 1, IdOf(Key));
    Values.reserve(8);
    int Rc;
    while ((Rc = sqlite3_step(*S)) == SQLITE_ROW)
        RowToValue(*S, Values.emplace_back());
    return Rc == SQLITE_DONE || FailDb(Fault, "cannot read the store");
}

bool TSqliteTx::SubKeysWithValues(const TKeyRef& Key, std::vector<TRegSubKey>& Subs, TFault& Fault) {
    if (!FDb)
        return true;
    TStmtRun S(FDb->Stmt(stListKeysValues));
    if (!S)
        return FailDb(Fault, "cannot read the store");
    sqlite3_bind_int64(*S, 1, IdOf(Key));
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
    if (Rc != SQLITE_DONE)
        return FailDb(Fault, "cannot read the store");
    if (Last != -1)
        PutInOrder();
    return true;
}

bool TSqliteTx::ReadValue(const TKeyRef& Key, std::string_view, const std::string& Fold, TRegValue& Value,
                          TFault& Fault) {
    Fault.Error = TRegError::NotFound;
    if (!FDb)
        return false;
    TStmtRun S(FDb->Stmt(stFindValue));
    if (!S)
        return FailDb(Fault, "cannot read the store");
    sqlite3_bind_int64(*S, 1, IdOf(Key));
    BindText(*S, 2, Fold);
    int Rc = sqlite3_step(*S);
    if (Rc == SQLITE_ROW) {
        RowToValue(*S, Value);
        return true;
    }
    return Rc == SQLITE_DONE ? false : FailDb(Fault, "cannot read the store");
}

bool TSqliteTx::WriteValue(const TKeyRef& Key, std::string_view KeyPath, const TRegValue& Value,
                           const std::string& Fold, TFault& Fault) {
    if (!KeyAlive(IdOf(Key), KeyPath, Fault))
        return false;
    TStmtRun S(FDb->Stmt(stWriteValue));
    if (!S)
        return FailDb(Fault, "cannot write the store");
    sqlite3_bind_int64(*S, 1, IdOf(Key));
    BindText(*S, 2, Fold);
    BindText(*S, 3, Value.Name);
    sqlite3_bind_int64(*S, 4, Value.Kind);
    if (Value.Type == TRegValueType::Text)
        BindText(*S, 5, Value.Text);
    else if (Value.Type == TRegValueType::Int32)
        sqlite3_bind_int64(*S, 5, static_cast<std::uint32_t>(Value.Int));
    else
        sqlite3_bind_blob(*S, 5, Value.Bytes.data(), static_cast<int>(Value.Bytes.size()), SQLITE_STATIC);
    return sqlite3_step(*S) == SQLITE_DONE || FailDb(Fault, "cannot write the value");
}

bool TSqliteTx::DeleteValue(const TKeyRef& Key, std::string_view, const std::string& Fold, TFault& Fault) {
    TStmtRun S(FDb->Stmt(stDeleteValue));
    if (!S)
        return FailDb(Fault, "cannot write the store");
    sqlite3_bind_int64(*S, 1, IdOf(Key));
    BindText(*S, 2, Fold);
    if (sqlite3_step(*S) != SQLITE_DONE)
        return FailDb(Fault, "cannot delete the value");
    if (sqlite3_changes(FDb->Db()) == 0) {
        Fault.Error = TRegError::NotFound;
        return false;
    }
    return true;
}

} // namespace

std::unique_ptr<TBackendTx> BeginTransaction(TRegRoot, bool ForWrite, const std::string& Path,
                                             TFault& Fault) {
    auto Tx = std::make_unique<TSqliteTx>(Path, ForWrite);
    if (!Tx->Begin(Fault))
        return nullptr;
    return Tx;
}

} // namespace detail
} // namespace wdx::registry
