#pragma once
// The exporter's web configuration, --web.config.file, in the format every
// Prometheus exporter reads:
//
//   tls_server_config:
//     cert_file: server.pem          # both, or neither (plain HTTP)
//     key_file: server.key
//     client_auth_type: RequireAndVerifyClientCert   # optional
//     client_ca_file: ca.pem         # for the Verify... types
//     min_version: TLS12             # optional: TLS12 (the least taken) or TLS13
//   basic_auth_users:
//     prometheus: $2b$10$...         # bcrypt
//
// Relative file names are relative to the configuration file's folder. A key
// this exporter does not know or does not serve is an error, named with its
// line, rather than a protection silently left out.

#include <map>
#include <memory>
#include <stdexcept>
#include <string>

namespace wdx::exporter {

class EWebConfig : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class TClientAuth {
    NoClientCert,
    RequestClientCert,          // asked for, not checked
    RequireAnyClientCert,       // required, not checked
    VerifyClientCertIfGiven,    // checked against client_ca_file when given
    RequireAndVerifyClientCert, // required and checked against client_ca_file
};

struct TWebConfig {
    std::string CertFile; // empty: no TLS
    std::string KeyFile;
    TClientAuth ClientAuth = TClientAuth::NoClientCert;
    std::string ClientCaFile;
    bool Tls13Only = false;                   // min_version: TLS13
    std::map<std::string, std::string> Users; // name -> bcrypt hash; empty: no password asked
    bool Tls() const { return !CertFile.empty(); }
};

// Throws EWebConfig, naming the file, for anything it cannot use.
TWebConfig LoadWebConfig(const std::string& Path);
// The same for a text; Dir is where relative file names start.
TWebConfig ParseWebConfig(const std::string& Text, const std::string& Dir, const std::string& Origin);

// Checks basic-auth users against their bcrypt hashes with the system's
// crypt(3). A wrong password, and a user that does not exist, costs one
// bcrypt run like a right one (the latter against a hash of the same cost),
// so the time of a refusal tells nothing. Thread-safe.
class TBasicAuth {
public:
    // Throws EWebConfig for a hash that is not bcrypt ($2a$, $2b$, $2y$) or
    // that crypt(3) cannot use.
    explicit TBasicAuth(std::map<std::string, std::string> Users);
    bool Enabled() const { return !FUsers.empty(); }
    bool Check(const std::string& User, const std::string& Password) const;

private:
    std::map<std::string, std::string> FUsers;
    std::string FDummyHash;
};

// User and password of an "Authorization: Basic BASE64(user:password)"
// header; false for any other header.
bool ParseBasicAuth(const std::string& Header, std::string& User, std::string& Password);

} // namespace wdx::exporter
