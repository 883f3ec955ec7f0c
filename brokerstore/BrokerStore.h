#pragma once
// Broker definitions as client software on this machine reads them: one key per
// broker below the product key, under the User root or the System root.
//
// Every operation opens what it needs, does its work in one store transaction
// and closes it again; nothing is cached between calls. Texts are UTF-8.
// No function here shows anything; failures come back as results.

#include <stdexcept>
#include <string>
#include <vector>

namespace wdx::registry {
enum class TRegRoot;
}

namespace wdx::brokerstore {

enum TBrokerScope { scUser = 0, scSystem = 1 };

// The store root a scope's definitions live under: User for scUser, System
// for scSystem.
registry::TRegRoot RootOf(TBrokerScope Scope);
// "User" or "System", for messages in English (the windows show the texts
// of their string table instead).
const char* ScopeName(TBrokerScope Scope);

// Key path of the product key, relative to either root.
inline constexpr const char* ProductKey = "SOFTWARE\\Corvanta\\VKR_Client";

// The client directory, a value of the System root's product key; the help
// file is found beside it.
inline constexpr const char* ClientDirValue = "ClientDir";
// "ClientDir" as stored; empty when the key or the value is missing, or the
// value is not text.
std::string ReadClientDir();

struct TBrokerDefinition {
    std::string Name;
    TBrokerScope Scope = scUser;
    std::string HostName;
    std::string Port;    // exactly as typed
    std::string TimeOut; // exactly as typed
    bool ConnectionPooling = false;
    bool LogComms = false;
    bool LogCalls = false;
};

struct TBrokerSummary {
    std::string HostName; // missing reads as empty
    std::string Port;     // missing reads as empty
    std::string TimeOut;  // missing or empty reads as "0"
};

struct TBrokerOptions {
    bool ConnectionPooling = false;
    bool LogComms = false;
    bool LogCalls = false;
};

// A stored "LogLevel" that is neither missing, empty, "0" nor an integer.
class EBrokerStoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Names of the direct sub-keys of the product key, in enumeration order.
// Empty when the product key is missing or cannot be read.
std::vector<std::string> ListBrokerNames(TBrokerScope Scope);

// Host, port and time-out of one broker; empty, empty and "0" when the key
// cannot be read. A value stored as a 32-bit integer (by another tool) reads
// as its decimal text; one of any other type reads as missing.
TBrokerSummary ReadBrokerSummary(TBrokerScope Scope, const std::string& Name);

// ListBrokerNames followed by ReadBrokerSummary for each name, as the list
// window fills its rows, but in one read transaction: the same rows, from one
// consistent state of the store, for a fraction of the cost (one lock instead
// of one per broker). Empty when the product key cannot be read.
struct TBrokerListEntry {
    std::string Name;
    TBrokerSummary Summary;
};
std::vector<TBrokerListEntry> ReadBrokerList(TBrokerScope Scope);

// False when the broker key cannot be read (Options is left as it was).
// Throws EBrokerStoreError for a "LogLevel" that does not parse.
bool ReadBrokerOptions(TBrokerScope Scope, const std::string& Name, TBrokerOptions& Options);

// "ConnectionPooling" alone, by the same rule (exactly "Y" is on; a key or
// value that cannot be read is off): for when the options as a whole cannot
// be read because of their "LogLevel".
bool ReadBrokerPooling(TBrokerScope Scope, const std::string& Name);

// Where Name is defined, looked up the way client software on this machine
// does: the User scope first, then System. A scope whose store cannot be read
// contributes nothing, as in the broker lists; Problem then says so, naming
// the store's file and the reason ("the System settings (/path) cannot be
// read: ..."), so that "not defined" can tell it may be defined after all.
struct TBrokerLocation {
    bool Found = false;
    TBrokerScope Scope = scUser; // when Found
    std::string Problem;         // the first scope that could not be read, or empty
};
TBrokerLocation LocateBroker(const std::string& Name);

// Whether two broker names are the same key name to the store, which
// compares them without regard to case. Names the store cannot compare
// (invalid UTF-8) are the same only when equal byte for byte.
bool SameBrokerName(const std::string& A, const std::string& B);
// The form two names share exactly when SameBrokerName holds, as a key for
// maps and sets.
std::string BrokerNameKey(const std::string& Name);

// Why the store of Scope cannot be read ("the System settings (/path) cannot
// be read: ..."); empty when it can.
std::string ScopeReadProblem(TBrokerScope Scope);

// The file that holds the definitions of Scope.
std::string ScopeStorePath(TBrokerScope Scope);

// The definitions as client software on this machine sees them. A client
// looks a name up under User first, then under System, comparing names as
// the store does (LocateBroker): so a System definition whose name also has
// a User definition is never used.
struct TClientDefinition {
    std::string Name; // as stored
    TBrokerScope Scope = scUser;
    TBrokerSummary Summary; // as ReadBrokerSummary reads it
    bool Used = true;       // false when a User definition hides it
};
struct TClientDefinitions {
    // Every User definition, then every System one, each scope in the
    // store's enumeration order (as ReadBrokerList gives them).
    std::vector<TClientDefinition> Definitions;
    // By scope: why its store or its product key cannot be read (as
    // ScopeReadProblem words it); empty when it can, a missing product key
    // included. A scope that cannot be read contributes no definitions.
    std::string Problems[2];
};
TClientDefinitions ListClientDefinitions();

// Writes the five values of Def under its scope, creating the keys as needed,
// in one transaction. Where the store has transactions (SQLite), either every
// value is written or none is. The Windows registry has none: each value is
// written at once, and when one fails the ones before it stay. On failure,
// Detail (when given) says why and exactly what was written and what not.
bool WriteBrokerDefinition(const TBrokerDefinition& Def, std::string* Detail = nullptr);

// Removes the broker key with everything below it. False when it could not be
// removed or did not exist.
bool DeleteBrokerDefinition(TBrokerScope Scope, const std::string& Name);

// "LogLevel" text for the two logging flags: "0" to "3".
std::string EncodeLogLevel(bool LogComms, bool LogCalls);

// The two flags of a stored "LogLevel": missing (pass nullptr), empty and "0"
// are both off; otherwise the text must be a signed 32-bit decimal integer,
// whose bit 0 is communications and bit 1 function calls. Throws
// EBrokerStoreError for any other text.
void DecodeLogLevel(const std::string* Text, bool& LogComms, bool& LogCalls);

// A name the store accepts: not empty, valid UTF-8, no NUL and no "". A ""
// would otherwise make nested keys, and the list would show only the part
// before it, so such names are refused by every operation (reads find
// nothing, writes and deletes return false without touching the store).
bool IsValidBrokerName(const std::string& Name);

// Moves an edited definition to another scope in the order the edit dialog
// relies on: write under Def.Scope first, and only when that succeeded
// delete the old key. There is no rollback: after DeleteFailed the definition
// exists under both roots. Detail (when given) says what went wrong and what
// was written (as WriteBrokerDefinition's).
enum class TScopeChange { Moved, WriteFailed, DeleteFailed };
TScopeChange ChangeBrokerScope(const TBrokerDefinition& Def, TBrokerScope OldScope,
                               std::string* Detail = nullptr);

} // namespace wdx::brokerstore
