#pragma once
// The settings store: a tree of named keys holding named, typed values, with
// two roots, User (this user's settings) and System (the machine's). Where a
// root lives depends on the platform's back-end (StoreFeatures): on Linux one
// SQLite file per root (see StorePath) that several processes share; on
// Windows the registry itself (HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE).
//
// Contract
// - Nothing here throws to the caller and nothing prints. Every call returns
//   true on success; after a false result, the transaction's Error() and
//   ErrorText() say why (missing key or value, wrong type, refused write, busy,
//   damaged file ...).
// - All work happens inside a TRegTransaction on one root. Where the back-end
//   has transactions (StoreFeatures().Transactions, SQLite): a read
//   transaction sees one consistent snapshot of the file; a write transaction
//   holds the root's write lock from its start, so a write that reads first
//   never races another writer. Nothing a write transaction did is visible to
//   anyone, or kept, until Commit() returns true; then it is on disk. A
//   transaction that is destroyed, or fails, without a successful Commit()
//   leaves the file as it was before the transaction started.
//   Where it has none (the Windows registry): every value is written
//   atomically and at once, and stays; Commit() only ends the transaction,
//   Rollback() undoes nothing, and reads see other writers' changes as they
//   come. Callers that promise all-or-nothing check their whole input first.
// - Store paths are looked up again for every transaction, so changing
//   WDX_USER_STORE / WDX_SYSTEM_STORE takes effect at once.
// - A missing store reads as an empty root; the first write creates it
//   (a file and its directory, or a key). A file that is not a store (not
//   SQLite, foreign schema, corrupt) fails every operation with
//   TRegError::Damaged; it is never overwritten.
// - Writers to a SQLite file wait in line for their turn, in the order they
//   came (see sqlite/WriteQueue.h). A write fails with TRegError::Busy only
//   when one other writer has held the store for the whole busy time-out
//   (SetBusyTimeout); while the line moves it waits however long the line is.
// - Key names, value names and key depth keep the platform registry's limits
//   (MaxKeyNameLength ...); past them a write fails with TRegError::TooLong.
// - Key and value names are UTF-8. They compare without regard to case
//   (Unicode simple upper-case mapping per character, as the platform
//   registry does) and keep the case they were created with. On Windows the
//   registry compares them itself, and FoldName uses its upper-case mapping.
//   Sub-keys are listed sorted by that upper-cased name and values in the
//   order they were first written, or both in the registry's own order
//   (StoreFeatures().RegistryOrder). A key path
//   separates key names with "\"; a key name can therefore not hold "\", a
//   value name can.
//
// Ownership and threads
// - A TRegTransaction owns its back-end's transaction (a database
//   connection, or the open root keys) for its lifetime. A TRegKey is a
//   light handle that borrows its transaction: once that has ended (Commit,
//   Rollback) its calls fail with Closed, and it must not be used at all once
//   the transaction is destroyed. Its open key is closed with its last copy.
// - One transaction belongs to one thread. Different threads may run their
//   own transactions at the same time. A thread may nest a read transaction
//   inside another transaction on the same root, but must not start a write
//   transaction on a root while it holds any transaction on it: with SQLite
//   the write would wait for the thread itself until the busy time-out.
// - Readers and writers of one file take turns: a write waits (within the
//   busy time-out) for the read transactions that are open when it commits.
//   Keep transactions short; every helper below is one short transaction.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace wdx::registry {

enum class TRegRoot { User, System };
enum class TRegAccess { Read, Write };

// Text (platform type 1) and Int32 (type 4) are what programs read and write;
// every other type is carried as raw bytes with its platform type number.
enum class TRegValueType { Text, Int32, Other };

inline constexpr std::uint32_t RegKindText = 1;
inline constexpr std::uint32_t RegKindInt32 = 4;

enum class TRegError {
    None,
    NotFound,     // the key or value does not exist
    WrongType,    // the value exists with another type than the one asked for
    InvalidName,  // empty key name, "\" or NUL in a key name, bad UTF-8, the root itself
    TooLong,      // a new key name, value name or key depth over the registry's limit (see below)
    AccessDenied, // no right to read the file, or to write it or its directory
    Busy,         // another process kept the file locked past the busy time-out
    Damaged,      // not a store file: not SQLite, foreign schema, corrupt
    IoError,      // any other failure of the file system or the database
    Closed        // the transaction has ended, failed earlier, or is read-only
};

// The platform registry's limits, which the store keeps as well: a key name
// has at most 255 characters, a value name at most 16,383, and a key lies at
// most 512 levels below its root. Characters are counted as that registry
// counts them, in UTF-16 code units (a character beyond U+FFFF counts two).
// Creating a key or writing a value past a limit fails with TooLong and
// writes nothing; keys and values stored past them by other means stay
// readable and deletable.
inline constexpr std::size_t MaxKeyNameLength = 255;
inline constexpr std::size_t MaxValueNameLength = 16383;
inline constexpr std::size_t MaxKeyDepth = 512;

// The length of UTF-8 text in UTF-16 code units.
std::size_t Utf16Length(std::string_view Utf8);

struct TRegValue {
    std::string Name;
    TRegValueType Type = TRegValueType::Text;
    std::uint32_t Kind = RegKindText; // platform type number
    std::string Text;                 // Type == Text
    std::int32_t Int = 0;             // Type == Int32
    std::string Bytes;                // Type == Other: the raw data
};

// A sub-key with its values, as SubKeysWithValues lists them.
struct TRegSubKey {
    std::string Name;
    std::vector<TRegValue> Values;
};

class TRegTransaction;
namespace detail {
class TBackendKey; // an open key of the back-end (registry/Backend.h)
class TBackendTx;  // a transaction of the back-end
struct TFault;
struct TKeyName;
} // namespace detail

// What the back-end of this build promises beyond the common contract
// (docs/store.md, one section per back-end).
struct TStoreFeatures {
    const char* Name; // "SQLite", "Windows registry"
    // True: Commit and Rollback are real (all or nothing, snapshot reads).
    // False: every write is made at once and kept; see the contract above.
    bool Transactions;
    // False: sub-keys are listed sorted by their upper-cased names, values in
    // the order they were first written. True: both in the order the
    // registry lists them (Windows: sub-keys sorted by upper-cased UTF-16,
    // values mostly as created; Wine: both sorted by lower-cased names).
    bool RegistryOrder;
};
const TStoreFeatures& StoreFeatures();

// An open key inside a transaction. Default-constructed it is closed. Copies
// refer to the same key.
class TRegKey {
public:
    TRegKey() = default;

    bool IsOpen() const { return FTx != nullptr; }
    // The key's path below the root, spelled as it was asked for.
    const std::string& Path() const { return FPath; }
    void Close() {
        FTx = nullptr;
        FKey.reset();
    }

    bool OpenSubKey(std::string_view Name, TRegKey& Key) const;
    bool CreateSubKey(std::string_view Name, TRegKey& Key) const; // write transactions only

    bool SubKeyNames(std::vector<std::string>& Names) const;
    bool Values(std::vector<TRegValue>& Values) const;
    // Every direct sub-key with its values, in one pass over the store: what
    // SubKeyNames and then Values on each sub-key give, only much faster.
    // (Windows: a sub-key this user may not read is listed without values.)
    bool SubKeysWithValues(std::vector<TRegSubKey>& Subs) const;

    bool GetValueType(std::string_view Name, TRegValueType& Type) const;
    bool ReadText(std::string_view Name, std::string& Value) const;   // WrongType unless Text
    bool ReadInt32(std::string_view Name, std::int32_t& Value) const; // WrongType unless Int32
    bool ReadValue(std::string_view Name, TRegValue& Value) const;    // any type

    // Writes replace a value of the same name (and any type); the name keeps
    // the case it was first written with.
    bool WriteText(std::string_view Name, std::string_view Value);
    bool WriteInt32(std::string_view Name, std::int32_t Value);
    bool WriteValue(const TRegValue& Value); // Value.Type and Value.Kind must agree
    bool DeleteValue(std::string_view Name); // NotFound when absent

private:
    friend class TRegTransaction;
    bool Child(std::string_view Name, bool Create, TRegKey& Key) const;
    TRegTransaction* FTx = nullptr;
    std::shared_ptr<detail::TBackendKey> FKey;
    std::size_t FDepth = 0; // levels below the root
    std::string FPath;
};

// One transaction on one root's file. See the contract above.
class TRegTransaction {
public:
    TRegTransaction(TRegRoot Root, TRegAccess Access);
    ~TRegTransaction(); // rolls back what was not committed
    TRegTransaction(const TRegTransaction&) = delete;
    TRegTransaction& operator=(const TRegTransaction&) = delete;

    // False when the file could not be opened; Error() tells why.
    bool Ok() const { return FActive; }
    TRegError Error() const { return FError; }
    const std::string& ErrorText() const { return FErrorText; }
    TRegRoot Root() const { return FRoot; }
    const std::string& FilePath() const { return FPath; }
    bool IsWrite() const { return FAccess == TRegAccess::Write; }

    // Ends the transaction. For a write transaction, true means every change
    // is on disk; false means none is. Keys opened from it are closed.
    bool Commit();
    void Rollback();

    // The root itself is the empty path. OpenKey fails with NotFound when any
    // key on the path is missing; CreateKey (write transactions) creates them.
    bool OpenKey(std::string_view Path, TRegKey& Key);
    bool CreateKey(std::string_view Path, TRegKey& Key);
    // Removes the key with everything below it. NotFound when it is missing;
    // the root cannot be deleted.
    bool DeleteKey(std::string_view Path);

private:
    friend class TRegKey;
    bool Fail(TRegError Error, std::string Text);
    bool Failed(detail::TFault& Fault, std::string_view Subject, bool IsValue);
    bool Usable(bool ForWrite);
    bool SplitPath(std::string_view Path, std::vector<detail::TKeyName>& Names);
    bool Resolve(std::string_view Path, bool Create, TRegKey& Key);
    bool WithinKeyLimits(std::string_view Names, std::size_t Depth);

    TRegRoot FRoot;
    TRegAccess FAccess;
    std::string FPath;
    std::unique_ptr<detail::TBackendTx> FImpl; // null when the store could not be opened
    bool FActive = false;
    TRegError FError = TRegError::None;
    std::string FErrorText;
};

// Where a root is kept: $WDX_USER_STORE / $WDX_SYSTEM_STORE when set and not
// empty, else DefaultStorePath(Root).
std::string StorePath(TRegRoot Root);
// SQLite: User is $XDG_CONFIG_HOME/wdx/user-store.sqlite (~/.config when
// unset), System /var/lib/wdx/system-store.sqlite.
// Windows: "HKEY_CURRENT_USER" / "HKEY_LOCAL_MACHINE"; a variable above
// names a key instead ("HKEY_CURRENT_USER\Software\Tests\User"), which
// then stands for the root.
std::string DefaultStorePath(TRegRoot Root);

// How long an operation waits for another process's lock (default 5 s).
// SQLite only: the registry has no locks to wait for.
void SetBusyTimeout(std::chrono::milliseconds Timeout);
std::chrono::milliseconds BusyTimeout();

// Each thread keeps one open connection per store file between transactions
// (checked against the file's identity every time, so a replaced or deleted
// file is noticed). Off means every transaction opens and closes its own.
// SQLite only; on Windows nothing is kept.
void SetConnectionReuse(bool On);
// Closes this thread's kept connections (before a file is removed, say).
void ReleaseCachedConnections();

// The checks a write makes of names before it touches the store, for a
// caller that must check all of its input before the first write (a store
// without transactions cannot undo the writes before a refused one). False,
// with the error and text the write would give: InvalidName or TooLong.
// ForCreate: the path is to be created (CreateKey), so the limits apply too.
bool CheckKeyPath(std::string_view Path, bool ForCreate, TRegError& Error, std::string& Text);
bool CheckValueName(std::string_view Name, TRegError& Error, std::string& Text);

// Canonical upper-case form used to compare names; false for invalid UTF-8.
bool FoldName(std::string_view Name, std::string& Fold);

const char* RootName(TRegRoot Root); // "HKEY_CURRENT_USER" / "HKEY_LOCAL_MACHINE"
const char* ErrorName(TRegError Error);

// One-transaction helpers for callers that need a single value or list.
// On failure, Error (when given) tells why.
bool ReadText(TRegRoot Root, std::string_view Key, std::string_view Name, std::string& Value,
              TRegError* Error = nullptr);
bool ReadInt32(TRegRoot Root, std::string_view Key, std::string_view Name, std::int32_t& Value,
               TRegError* Error = nullptr);
bool ReadValue(TRegRoot Root, std::string_view Key, std::string_view Name, TRegValue& Value,
               TRegError* Error = nullptr);
bool GetValueType(TRegRoot Root, std::string_view Key, std::string_view Name, TRegValueType& Type,
                  TRegError* Error = nullptr);
bool ListSubKeys(TRegRoot Root, std::string_view Key, std::vector<std::string>& Names,
                 TRegError* Error = nullptr);
bool KeyExists(TRegRoot Root, std::string_view Key);
bool WriteText(TRegRoot Root, std::string_view Key, std::string_view Name, std::string_view Value,
               TRegError* Error = nullptr);
bool WriteInt32(TRegRoot Root, std::string_view Key, std::string_view Name, std::int32_t Value,
                TRegError* Error = nullptr);
bool DeleteValue(TRegRoot Root, std::string_view Key, std::string_view Name, TRegError* Error = nullptr);
bool DeleteKey(TRegRoot Root, std::string_view Key, TRegError* Error = nullptr);

} // namespace wdx::registry
