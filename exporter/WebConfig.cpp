#include "exporter/WebConfig.h"

#include <crypt.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <yaml-cpp/yaml.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <strings.h>

namespace wdx::exporter {

namespace {

std::string LineOf(const YAML::Node& Node) {
    return "line " + std::to_string(Node.Mark().line + 1);
}

std::string Resolve(const std::string& Dir, const std::string& File) {
    if (File.empty() || File.front() == '/')
        return File;
    return (std::filesystem::path(Dir) / File).string();
}

// A mapping's text value; throws when it is not one.
std::string Scalar(const YAML::Node& Value, const std::string& Key, const std::string& Origin) {
    if (!Value.IsScalar())
        throw EWebConfig(Origin + ", " + LineOf(Value) + ": " + Key + " must be a text.");
    return Value.as<std::string>();
}

TClientAuth ParseClientAuth(const std::string& Text, const std::string& Where) {
    static const std::pair<const char*, TClientAuth> Types[] = {
        {"NoClientCert", TClientAuth::NoClientCert},
        {"RequestClientCert", TClientAuth::RequestClientCert},
        {"RequireAnyClientCert", TClientAuth::RequireAnyClientCert},
        {"VerifyClientCertIfGiven", TClientAuth::VerifyClientCertIfGiven},
        {"RequireAndVerifyClientCert", TClientAuth::RequireAndVerifyClientCert}};
    for (const auto& [Name, Type] : Types)
        if (Text == Name)
            return Type;
    throw EWebConfig(Where + ": client_auth_type \"" + Text +
                     "\" is not one of NoClientCert, RequestClientCert, RequireAnyClientCert, "
                     "VerifyClientCertIfGiven, RequireAndVerifyClientCert.");
}

void ParseTls(const YAML::Node& Tls, const std::string& Dir, const std::string& Origin, TWebConfig& Config) {
    if (Tls.IsNull())
        return;
    if (!Tls.IsMap())
        throw EWebConfig(Origin + ", " + LineOf(Tls) + ": tls_server_config must be a mapping.");
    for (const auto& Item : Tls) {
        const std::string Key = Item.first.as<std::string>();
        const std::string Where = Origin + ", " + LineOf(Item.first);
        if (Key == "cert_file")
            Config.CertFile = Resolve(Dir, Scalar(Item.second, Key, Origin));
        else if (Key == "key_file")
            Config.KeyFile = Resolve(Dir, Scalar(Item.second, Key, Origin));
        else if (Key == "client_ca_file")
            Config.ClientCaFile = Resolve(Dir, Scalar(Item.second, Key, Origin));
        else if (Key == "client_auth_type")
            Config.ClientAuth = ParseClientAuth(Scalar(Item.second, Key, Origin), Where);
        else if (Key == "min_version") {
            const std::string V = Scalar(Item.second, Key, Origin);
            if (V != "TLS12" && V != "TLS13")
                throw EWebConfig(Where + ": min_version \"" + V +
                                 "\" is not TLS12 or TLS13 (older ones are not served).");
            Config.Tls13Only = V == "TLS13";
        } else
            throw EWebConfig(Where + ": tls_server_config." + Key + " is not supported by WDXExporter.");
    }
    if (Config.CertFile.empty() != Config.KeyFile.empty())
        throw EWebConfig(Origin + ": tls_server_config needs both cert_file and key_file (" +
                         (Config.CertFile.empty() ? "cert_file" : "key_file") + " is missing).");
    if (Config.CertFile.empty() &&
        (!Config.ClientCaFile.empty() || Config.ClientAuth != TClientAuth::NoClientCert))
        throw EWebConfig(Origin + ": client certificates need TLS: give cert_file and key_file.");
    const bool Verifies = Config.ClientAuth == TClientAuth::VerifyClientCertIfGiven ||
                          Config.ClientAuth == TClientAuth::RequireAndVerifyClientCert;
    if (Verifies && Config.ClientCaFile.empty())
        throw EWebConfig(Origin +
                         ": this client_auth_type checks client certificates and needs client_ca_file.");
    if (!Verifies && !Config.ClientCaFile.empty())
        throw EWebConfig(Origin +
                         ": client_ca_file is given, but client_auth_type does not check client "
                         "certificates (use VerifyClientCertIfGiven or RequireAndVerifyClientCert).");
}

} // namespace

TWebConfig ParseWebConfig(const std::string& Text, const std::string& Dir, const std::string& Origin) {
    TWebConfig Config;
    YAML::Node Root;
    try {
        Root = YAML::Load(Text);
    } catch (const YAML::Exception& E) {
        throw EWebConfig(Origin + ", line " + std::to_string(E.mark.line + 1) + ": " + E.msg + ".");
    }
    if (Root.IsNull())
        return Config; // an empty file: plain HTTP, no password, as without one
    if (!Root.IsMap())
        throw EWebConfig(Origin + ": the file must be a mapping (tls_server_config, basic_auth_users).");
    try {
        for (const auto& Item : Root) {
            const std::string Key = Item.first.as<std::string>();
            if (Key == "tls_server_config") {
                ParseTls(Item.second, Dir, Origin, Config);
            } else if (Key == "basic_auth_users") {
                if (Item.second.IsNull())
                    continue;
                if (!Item.second.IsMap())
                    throw EWebConfig(Origin + ", " + LineOf(Item.second) +
                                     ": basic_auth_users must be a mapping.");
                for (const auto& User : Item.second)
                    Config.Users[User.first.as<std::string>()] = Scalar(User.second, "a user's hash", Origin);
            } else {
                throw EWebConfig(
                    Origin + ", " + LineOf(Item.first) + ": " + Key +
                    " is not supported by WDXExporter (only tls_server_config and basic_auth_users).");
            }
        }
    } catch (const YAML::Exception& E) {
        throw EWebConfig(Origin + ", line " + std::to_string(E.mark.line + 1) + ": " + E.msg + ".");
    }
    return Config;
}

TWebConfig LoadWebConfig(const std::string& Path) {
    std::ifstream In(Path, std::ios::binary);
    if (!In)
        throw EWebConfig("Cannot read the web configuration " + Path + ": " + std::strerror(errno) + ".");
    std::ostringstream Text;
    Text << In.rdbuf();
    return ParseWebConfig(Text.str(), std::filesystem::path(Path).parent_path().string(),
                          "The web configuration " + Path);
}

namespace {

// crypt(3) of Password with the settings (and salt) of Hash; empty on failure.
std::string Crypt(const std::string& Password, const std::string& Hash) {
    auto Data = std::make_unique<crypt_data>(); // zeroed: a fresh state
    const char* Out = crypt_r(Password.c_str(), Hash.c_str(), Data.get());
    // A failure gives NULL or a text starting with '*'.
    return Out && Out[0] != '*' ? std::string(Out) : std::string();
}

bool IsBcrypt(const std::string& Hash) {
    return Hash.size() == 60 &&
           (Hash.rfind("$2a$", 0) == 0 || Hash.rfind("$2b$", 0) == 0 || Hash.rfind("$2y$", 0) == 0);
}

} // namespace

TBasicAuth::TBasicAuth(std::map<std::string, std::string> Users) : FUsers(std::move(Users)) {
    unsigned long Cost = 0;
    for (const auto& [User, Hash] : FUsers) {
        if (!IsBcrypt(Hash) || Crypt("", Hash).empty())
            throw EWebConfig("The hash of the user \"" + User +
                             "\" is not a bcrypt hash ($2a$, $2b$ or $2y$).");
        Cost = std::max(Cost, std::stoul(Hash.substr(4, 2)));
    }
    if (FUsers.empty())
        return;
    // A hash of the highest cost in use for users that do not exist: such a
    // refusal takes as long as a wrong password of the slowest user.
    char Salt[CRYPT_GENSALT_OUTPUT_SIZE];
    if (!crypt_gensalt_rn("$2b$", Cost, nullptr, 0, Salt, sizeof Salt))
        throw EWebConfig("bcrypt is not available from the system's crypt library.");
    FDummyHash = Crypt("no such user", Salt);
    if (FDummyHash.empty())
        throw EWebConfig("bcrypt is not available from the system's crypt library.");
}

bool TBasicAuth::Check(const std::string& User, const std::string& Password) const {
    auto It = FUsers.find(User);
    const std::string& Hash = It != FUsers.end() ? It->second : FDummyHash;
    const std::string Got = Crypt(Password, Hash);
    const bool Same = Got.size() == Hash.size() && CRYPTO_memcmp(Got.data(), Hash.data(), Hash.size()) == 0;
    return Same && It != FUsers.end();
}

bool ParseBasicAuth(const std::string& Header, std::string& User, std::string& Password) {
    if (Header.size() < 6 || strncasecmp(Header.c_str(), "Basic ", 6) != 0)
        return false;
    std::string Code = Header.substr(Header.find_first_not_of(' ', 6) == std::string::npos
                                         ? Header.size()
                                         : Header.find_first_not_of(' ', 6));
    while (!Code.empty() && Code.back() == ' ')
        Code.pop_back();
    if (Code.empty() || Code.size() % 4 != 0 || Code.size() > 4096)
        return false;
    std::string Plain(Code.size() / 4 * 3, '\0');
    int Len =
        EVP_DecodeBlock(reinterpret_cast<unsigned char*>(Plain.data()),
                        reinterpret_cast<const unsigned char*>(Code.data()), static_cast<int>(Code.size()));
    if (Len < 0)
        return false;
    Plain.resize(static_cast<std::size_t>(Len));
    // EVP_DecodeBlock keeps the zero bytes that padding stands for.
    for (std::size_t I = Code.size(); I > 0 && Code[I - 1] == '='; --I)
        Plain.pop_back();
    std::size_t Colon = Plain.find(':');
    if (Colon == std::string::npos)
        return false;
    User = Plain.substr(0, Colon);
    Password = Plain.substr(Colon + 1);
    return true;
}

} // namespace wdx::exporter
