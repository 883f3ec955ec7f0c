#pragma once
// Internal: what a store back-end provides under TRegTransaction and TRegKey.
//
// The contract (Registry.h) is kept in Registry.cpp: transaction state, the
// checks of names, types and limits, and the texts of those failures. A
// back-end only stores: it gets names that are already checked (valid UTF-8,
// no NUL, no "\" in a key name, within the limits when created) together
// with their upper-case form, and reports what went wrong in a TFault.
//
// One back-end is built per platform, in its own folder: sqlite/ (one SQLite
// file per root) and win32/ (the Windows registry). Each defines
// BeginTransaction and StoreFeatures, and the platform parts of the contract
// (StorePath, DefaultStorePath, the non-ASCII part of FoldName, the
// connection and busy settings).

#include "registry/Registry.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace wdx::registry::detail {

// An open key as a back-end knows it (a row for SQLite, an HKEY on Windows).
// Shared by the TRegKey copies that refer to it; the last one closes it.
class TBackendKey {
public:
    virtual ~TBackendKey() = default;
};
using TKeyRef = std::shared_ptr<TBackendKey>;

// Why a back-end call failed. An empty Text gets the contract's text for
// Error (NotFound: "key not found: <path>" / "value not found: <name>").
struct TFault {
    TRegError Error = TRegError::None;
    std::string Text;
    // The back-end's transaction is over (already rolled back): every later
    // call on the TRegTransaction fails with Closed.
    bool Ended = false;
};

// One key name of a path, checked, with its upper-case form (FoldName).
struct TKeyName {
    std::string_view Name;
    std::string Fold;
};

inline TRegValueType TypeOfKind(std::uint32_t Kind) {
    return Kind == RegKindText    ? TRegValueType::Text
           : Kind == RegKindInt32 ? TRegValueType::Int32
                                  : TRegValueType::Other;
}

// Why a value of that name cannot be written: InvalidName or TooLong, with
// the contract's text; None when it can.
TRegError ValueNameProblem(std::string_view Name, std::string& Fold, std::string& Text);

// Whether Names ("a\b", Depth levels below the root) may be created, and
// the names of a trimmed key path, each checked: the contract's checks, with
// their texts.
TRegError KeyLimitsProblem(std::string_view Names, std::size_t Depth, std::string& Text);
TRegError SplitKeyPath(std::string_view Path, std::vector<TKeyName>& Names, std::string& Text);

// One transaction on one root. Its owner calls nothing after Commit or
// Rollback (or after a fault with Ended) except Rollback and the destructor.
class TBackendTx {
public:
    virtual ~TBackendTx() = default; // undoes what was not committed, where the back-end can

    // The root key: the start of every path.
    virtual TKeyRef Root() = 0;
    // Before every call: false when the back-end lost the transaction under
    // us (it was rolled back by the database itself, say).
    virtual bool Alive(TFault& Fault) = 0;
    virtual bool Commit(TFault& Fault) = 0;
    virtual void Rollback() = 0;

    // The keys Names below Parent, one level per name; with Create, missing
    // ones are made (write transactions only). Whole is the path for texts.
    virtual bool OpenKey(const TKeyRef& Parent, const std::vector<TKeyName>& Names, bool Create,
                         std::string_view Whole, TKeyRef& Key, TFault& Fault) = 0;
    // Removes the key Names (below the root, at least one) with its tree.
    virtual bool DeleteKey(const std::vector<TKeyName>& Names, std::string_view Whole, TFault& Fault) = 0;

    virtual bool SubKeyNames(const TKeyRef& Key, std::vector<std::string>& Names, TFault& Fault) = 0;
    virtual bool Values(const TKeyRef& Key, std::vector<TRegValue>& Values, TFault& Fault) = 0;
    virtual bool SubKeysWithValues(const TKeyRef& Key, std::vector<TRegSubKey>& Subs, TFault& Fault) = 0;

    virtual bool ReadValue(const TKeyRef& Key, std::string_view Name, const std::string& Fold,
                           TRegValue& Value, TFault& Fault) = 0;
    // Value.Type and Value.Kind agree. KeyPath is the key's path, for texts.
    virtual bool WriteValue(const TKeyRef& Key, std::string_view KeyPath, const TRegValue& Value,
                            const std::string& Fold, TFault& Fault) = 0;
    virtual bool DeleteValue(const TKeyRef& Key, std::string_view Name, const std::string& Fold,
                             TFault& Fault) = 0;
};

// Starts a transaction on the store of Root at Path (StorePath(Root)). Null,
// with Fault set, when the store cannot be used. A write transaction may
// wait here for its turn among writers.
std::unique_ptr<TBackendTx> BeginTransaction(TRegRoot Root, bool ForWrite, const std::string& Path,
                                             TFault& Fault);

// The upper-case form of a name that is not pure ASCII, as the platform
// registry compares names; false when Name is not UTF-8.
bool FoldNonAscii(std::string_view Name, std::string& Fold);

} // namespace wdx::registry::detail
