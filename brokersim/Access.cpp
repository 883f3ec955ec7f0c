#include "brokersim/Access.h"

#include <nlohmann/json.hpp>
#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <strings.h>

namespace wdx::brokersim {

namespace {

std::string Sha256(const std::string& Text) {
    unsigned char Digest[EVP_MAX_MD_SIZE];
    unsigned int Size = 0;
    if (!EVP_Digest(Text.data(), Text.size(), Digest, &Size, EVP_sha256(), nullptr))
        throw std::runtime_error("SHA-256 is not available.");
    return std::string(reinterpret_cast<const char*>(Digest), Size);
}

bool FromHex(const std::string& Hex, std::string& Bytes) {
    auto Nibble = [](char C) {
        return C >= '0' && C <= '9'   ? C - '0'
               : C >= 'a' && C <= 'f' ? C - 'a' + 10
               : C >= 'A' && C <= 'F' ? C - 'A' + 10
                                      : -1;
    };
    if (Hex.size() != 64)
        return false;
    Bytes.clear();
    for (std::size_t I = 0; I < Hex.size(); I += 2) {
        int Hi = Nibble(Hex[I]), Lo = Nibble(Hex[I + 1]);
        if (Hi < 0 || Lo < 0)
            return false;
        Bytes.push_back(static_cast<char>(Hi * 16 + Lo));
    }
    return true;
}

} // namespace

std::string HashToken(const std::string& Token) {
    static const char Digits[] = "0123456789abcdef";
    std::string Hex = "sha256:";
    for (unsigned char C : Sha256(Token)) {
        Hex.push_back(Digits[C >> 4]);
        Hex.push_back(Digits[C & 15]);
    }
    return Hex;
}

TTokenTable TTokenTable::Load(const std::string& Path) {
    std::ifstream In(Path, std::ios::binary);
    if (!In)
        throw ETokenFile("Cannot read the token file " + Path + ": " + std::strerror(errno) + ".");
    std::ostringstream Text;
    Text << In.rdbuf();
    return Parse(Text.str(), Path);
}

TTokenTable TTokenTable::Parse(const std::string& Text, const std::string& Origin) {
    TTokenTable Table;
    std::istringstream Lines(Text);
    std::string Line;
    for (int No = 1; std::getline(Lines, Line); ++No) {
        if (!Line.empty() && Line.back() == '\r')
            Line.pop_back();
        std::istringstream Words(Line);
        std::string Name, Role, Hash, Extra;
        if (!(Words >> Name) || Name[0] == '#')
            continue;
        auto Bad = [&](const std::string& Why) {
            return ETokenFile("The token file " + Origin + ", line " + std::to_string(No) + ": " + Why);
        };
        if (!(Words >> Role >> Hash) || (Words >> Extra))
            throw Bad("expected \"NAME ROLE sha256:HEX\".");
        TTokenEntry E;
        E.Name = Name;
        if (Role == "read")
            E.Role = TRole::Read;
        else if (Role == "operate")
            E.Role = TRole::Operate;
        else
            throw Bad("the role must be \"read\" or \"operate\", not \"" + Role + "\".");
        if (Hash.rfind("sha256:", 0) != 0 || !FromHex(Hash.substr(7), E.Hash))
            throw Bad("the hash must be \"sha256:\" followed by 64 hex digits.");
        for (const TTokenEntry& Other : Table.FEntries)
            if (Other.Name == E.Name)
                throw Bad("the name \"" + E.Name + "\" is given twice.");
        Table.FEntries.push_back(std::move(E));
    }
    if (Table.FEntries.empty())
        throw ETokenFile("The token file " + Origin + " holds no token.");
    return Table;
}

std::optional<TTokenEntry> TTokenTable::Find(const std::string& Token) const {
    const std::string Hash = Sha256(Token);
    std::optional<TTokenEntry> Found;
    for (const TTokenEntry& E : FEntries)
        if (CRYPTO_memcmp(E.Hash.data(), Hash.data(), Hash.size()) == 0 && !Found)
            Found = E;
    return Found;
}

std::optional<std::string> BearerToken(const std::string& Header) {
    // The scheme is case-insensitive; one or more blanks follow it.
    if (Header.size() < 7 || strncasecmp(Header.c_str(), "Bearer ", 7) != 0)
        return std::nullopt;
    std::size_t Start = Header.find_first_not_of(' ', 7);
    if (Start == std::string::npos)
        return std::nullopt;
    std::size_t End = Header.find_last_not_of(' ');
    return Header.substr(Start, End + 1 - Start);
}

std::string FormatAuditLine(const TAuditEntry& Entry, int64_t UnixMillis) {
    std::time_t Secs = static_cast<std::time_t>(UnixMillis / 1000);
    std::tm Utc{};
    gmtime_r(&Secs, &Utc);
    char Time[96];
    std::snprintf(Time, sizeof Time, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", Utc.tm_year + 1900,
                  Utc.tm_mon + 1, Utc.tm_mday, Utc.tm_hour, Utc.tm_min, Utc.tm_sec,
                  static_cast<int>(UnixMillis % 1000));
    nlohmann::ordered_json Line{
        {"time", Time}, {"token", Entry.TokenName}, {"component", Entry.Component}, {"action", Entry.Action}};
    Line["value"] = Entry.Value ? nlohmann::ordered_json(*Entry.Value) : nlohmann::ordered_json(nullptr);
    Line["status"] = Entry.Status;
    Line["result"] = Entry.Result;
    // Names come from the client: anything not UTF-8 is replaced, never thrown.
    return Line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

TAuditLog::TAuditLog(const std::string& Path) {
    if (Path.empty()) {
        FFile = stderr;
        return;
    }
    FFile = std::fopen(Path.c_str(), "a");
    if (!FFile)
        throw std::runtime_error("Cannot open the audit file " + Path + ": " + std::strerror(errno) + ".");
    FOwned = true;
}

TAuditLog::~TAuditLog() {
    if (FOwned)
        std::fclose(FFile);
}

void TAuditLog::Write(const TAuditEntry& Entry) {
    const auto Now = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    const std::string Line = FormatAuditLine(Entry, Now) + "\n";
    std::lock_guard Lock(FLock);
    std::fwrite(Line.data(), 1, Line.size(), FFile);
    std::fflush(FFile);
}

} // namespace wdx::brokersim
