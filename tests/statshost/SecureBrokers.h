#pragma once
// The brokers with TLS and tokens that the client's tests talk to, the same
// on both transports (TestBroker.h says where they are served). Their
// certificates are made at run time (support/TestPki.h); on Windows the
// Linux side made them, and the tests see its folder as drive Z:.
//
//   tls          TLS with the CA's certificate for localhost
//   tls-tokens   the same, asking for tokens
//   expired      TLS with an expired certificate
//   wronghost    TLS with a certificate for another host
//   tokens       plain HTTP on loopback, asking for tokens
//
// The token files the clients use lie beside the certificates, made with
// their modes on the Linux side (Wine shows a file's mode as its access
// list): read.token, operate.token, wrong.token (unknown to the brokers),
// empty.token, and open.token, which others may read.

#include "TestBroker.h"

#include <string>
#include <string_view>
#include <tuple>

#ifndef _WIN32
#include "brokersim/Access.h"
#include "brokersim/SimHarness.h"
#include "support/TestPki.h"

#include <sys/stat.h>

#include <fstream>
#include <map>
#include <memory>
#endif

namespace wdx::testing {

inline const char* const ReadSecret = "read-7f3a9c1e";
inline const char* const OperateSecret = "operate-b42d90e6";
inline const char* const SecureNames[] = {"tls", "tls-tokens", "expired", "wronghost", "tokens"};

#ifndef _WIN32

// How the broker Name of the list above serves, from Pki's files.
inline brokersim::TSimServerOptions SecureOptions(const testsupport::TTestPki& Pki, std::string_view Name) {
    brokersim::TSimServerOptions o;
    const std::string cert = Name == "expired" ? "expired" : Name == "wronghost" ? "wronghost" : "server";
    if (Name != "tokens") {
        o.CertFile = Pki.Path(cert + ".pem");
        o.KeyFile = Pki.Path(cert + ".key");
    }
    if (Name == "tokens" || Name == "tls-tokens") {
        o.TokenFile = Pki.Path("broker-tokens");
        std::ofstream(o.TokenFile) << "monitor read " << brokersim::HashToken(ReadSecret)
                                   << "\nadmin operate " << brokersim::HashToken(OperateSecret) << "\n";
    }
    return o;
}

inline void WriteTokenFiles(const testsupport::TTestPki& Pki) {
    for (auto [name, token, mode] : {std::tuple{"read.token", ReadSecret, 0600},
                                     {"operate.token", OperateSecret, 0600},
                                     {"wrong.token", "read-00000000", 0600},
                                     {"empty.token", " ", 0600},
                                     {"open.token", ReadSecret, 0644}}) {
        const std::string path = Pki.Path(name);
        std::ofstream(path) << token << "\n";
        chmod(path.c_str(), static_cast<mode_t>(mode));
    }
}

// All of them in this process, made on first use.
class TSecureBrokers {
public:
    static TSecureBrokers& Shared() {
        static TSecureBrokers brokers;
        return brokers;
    }
    int Port(std::string_view Name) const { return FBrokers.at(std::string(Name))->Port(); }
    // A file of the certificates' folder.
    std::string Pki(const std::string& File) const { return testsupport::TTestPki::Shared().Path(File); }

private:
    TSecureBrokers() {
        WriteTokenFiles(testsupport::TTestPki::Shared());
        for (const char* name : SecureNames)
            FBrokers[name] = std::make_unique<TSimHarness>(
                SmallScenario, 1, SecureOptions(testsupport::TTestPki::Shared(), name));
    }
    std::map<std::string, std::unique_ptr<TSimHarness>> FBrokers;
};

#else

class TSecureBrokers {
public:
    static TSecureBrokers& Shared() {
        static TSecureBrokers brokers;
        return brokers;
    }
    int Port(std::string_view Name) const { return PeerPort(Name); }
    // Wine shows the Linux file system as drive Z:.
    std::string Pki(const std::string& File) const {
        std::string path = "Z:" + PeerValue("pki") + "/" + File;
        for (char& c : path)
            if (c == '/')
                c = '\\';
        return path;
    }
};

#endif

} // namespace wdx::testing
