#pragma once
// Who may ask the simulator what: bearer tokens from a token file, each with
// a name and a role, and the audit trail of actions.
//
// A token file holds one token per line, "NAME ROLE sha256:HEX": the token's
// name (shown in audit lines, never the token), its role ("read": every GET;
// "operate": also the action POST) and the SHA-256 of the token's text in
// lower-case hex. Blank lines and lines starting with '#' are skipped. The
// file holds hashes only, so reading it gives nobody a token.
//
// Thread-safety: a loaded TTokenTable is read-only and may be shared; a
// TAuditLog serialises its writers.

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace wdx::brokersim {

enum class TRole { Read, Operate };

struct TTokenEntry {
    std::string Name;
    TRole Role = TRole::Read;
    std::string Hash; // 32 bytes of SHA-256
};

class ETokenFile : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "sha256:" and the lower-case hex of the SHA-256 of Token: what a token file
// holds for it.
std::string HashToken(const std::string& Token);

class TTokenTable {
public:
    // Throws ETokenFile naming the file and the line for anything it cannot
    // read: no line is skipped silently, a table with no token is refused.
    static TTokenTable Load(const std::string& Path);
    static TTokenTable Parse(const std::string& Text, const std::string& Origin);

    // The entry whose hash matches Token. Every entry is compared, each in
    // constant time, so that the time taken tells nothing about the tokens.
    std::optional<TTokenEntry> Find(const std::string& Token) const;
    std::size_t Size() const { return FEntries.size(); }

private:
    std::vector<TTokenEntry> FEntries;
};

// The token of an "Authorization: Bearer TOKEN" header; nothing when the
// header is missing or of another scheme.
std::optional<std::string> BearerToken(const std::string& Header);

// One line of JSON per action: {"time", "token", "component", "action",
// "value", "status", "result"}. JSON, so that no name a client sends can
// forge or break a line.
struct TAuditEntry {
    std::string TokenName; // "-" when the broker asks for no token or none was given
    std::string Component;
    std::string Action;           // as sent, empty when the body was not understood
    std::optional<int64_t> Value; // as sent
    int Status = 0;               // the HTTP status of the answer
    std::string Result;           // "done", or the error answer's text
};
std::string FormatAuditLine(const TAuditEntry& Entry, int64_t UnixMillis);

class TAuditLog {
public:
    // Appends to Path, or writes to standard error when Path is empty.
    // Throws std::runtime_error when the file cannot be opened.
    explicit TAuditLog(const std::string& Path);
    ~TAuditLog();
    TAuditLog(const TAuditLog&) = delete;
    TAuditLog& operator=(const TAuditLog&) = delete;
    // Writes and flushes one line.
    void Write(const TAuditEntry& Entry);

private:
    std::mutex FLock;
    std::FILE* FFile = nullptr;
    bool FOwned = false;
};

} // namespace wdx::brokersim
