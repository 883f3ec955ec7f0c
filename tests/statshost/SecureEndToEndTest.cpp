// The monitor's connection to brokers that serve TLS and ask for tokens:
// settings from the broker definition, and every way it can go wrong
// reaching the operator as a failed connect or action, in words, within the
// definition's time-out, never with the token in it.

#include "StandInHarness.h"

#include "monitor/NPXMonitor.h"
#include "monitorapi/WideText.h"
#include "registry/Registry.h"
#include "support/TestPki.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sys/stat.h>

using namespace wdx;
using namespace wdx::monitor;
using wdx::testing::Raised;
using wdx::testing::SecondsSince;
using wdx::testing::TSimHarness;
using wdx::testing::TStandInHarness;
using wdx::testsupport::TTestPki;

namespace {

const TTestPki& Pki() {
    return TTestPki::Shared();
}

const char* const ReadSecret = "read-7f3a9c1e";
const char* const OperateSecret = "operate-b42d90e6";

std::string TokenFile(const std::string& Name, const std::string& Token, mode_t Mode = 0600) {
    const std::string Path = Pki().Path(Name);
    std::ofstream(Path) << Token << "\n";
    chmod(Path.c_str(), Mode);
    return Path;
}

brokersim::TSimServerOptions Serving(const std::string& Cert) {
    brokersim::TSimServerOptions O;
    O.CertFile = Pki().Path(Cert + ".pem");
    O.KeyFile = Pki().Path(Cert + ".key");
    O.TokenFile = Pki().Path("sim-tokens");
    std::ofstream(O.TokenFile) << "monitor read " << brokersim::HashToken(ReadSecret) << "\nadmin operate "
                               << brokersim::HashToken(OperateSecret) << "\n";
    return O;
}

// A definition of Name for Port on Host, with the transport values given
// (an empty text leaves a value out).
void Define(const std::string& Name, const std::string& Host, int Port, const std::string& UseTls,
            const std::string& CaFile, const std::string& Token) {
    testsupport::Define(brokerstore::scUser, Name, Host, std::to_string(Port), "3");
    const std::string Key = std::string(brokerstore::ProductKey) + "\\" + Name;
    for (auto [Value, Text] : {std::pair{"UseTls", UseTls}, {"TlsCaFile", CaFile}, {"TokenFile", Token}}) {
        if (!Text.empty()) {
            ASSERT_TRUE(registry::WriteText(registry::TRegRoot::User, Key, Value, Text));
        }
    }
}

class SecureEndToEnd : public ::testing::Test {
protected:
    TStandInHarness Plain; // the store, the stand-ins, and a broker without TLS or tokens
    TSimHarness Tls{wdx::testing::SmallScenario, 1, Serving("server")};
    std::string Ca = Pki().Path("ca.pem");
};

} // namespace

TEST_F(SecureEndToEnd, ReadAndOperateTokensOverVerifiedTls) {
    Define("Operated", "localhost", Tls.Port(), "Y", Ca, TokenFile("operate.token", OperateSecret));
    Define("Watched", "127.0.0.1", Tls.Port(), "Y", Ca, TokenFile("read.token", ReadSecret));

    TNPXMonitor Operated(u"Operated");
    EXPECT_EQ(Operated.GetServers().size(), 3u);
    Operated.PerformAction("Orders", "setmax", 5);
    EXPECT_EQ(Operated.GetServerMore("Orders").Maximum, 5);

    TNPXMonitor Watched(u"Watched"); // the certificate names 127.0.0.1 too
    EXPECT_EQ(Watched.GetServers().size(), 3u);
    ENPXException E = Raised([&] { Watched.PerformAction("Orders", "setmax", 7); });
    EXPECT_EQ(E.MessageId, IdCannotProcessAction);
    EXPECT_EQ(
        WideToUtf8(E.Detail),
        "The token of \"" + Pki().Path("read.token") +
            "\" may not do this on the broker at 127.0.0.1:" + std::to_string(Tls.Port()) +
            ": it may only read, and actions need a token of the role operate. The broker says: The token "
            "\"monitor\" may only read; POST /v1/components/Orders/actions needs the role \"operate\".");
    EXPECT_EQ(Operated.GetServerMore("Orders").Maximum, 5);
}

TEST_F(SecureEndToEnd, EveryRefusedConnectSaysWhatIsWrongWithinTheTimeOut) {
    TSimHarness Expired(wdx::testing::SmallScenario, 1, Serving("expired"));
    TSimHarness WrongHost(wdx::testing::SmallScenario, 1, Serving("wronghost"));
    const std::string Tp = std::to_string(Tls.Port());
    const std::string Good = TokenFile("good.token", ReadSecret);
    Define("No token", "localhost", Tls.Port(), "Y", Ca, "");
    Define("Wrong token", "localhost", Tls.Port(), "Y", Ca, TokenFile("wrong.token", "read-00000000"));
    Define("Open token", "localhost", Tls.Port(), "Y", Ca, TokenFile("open.token", ReadSecret, 0644));
    Define("Missing token", "localhost", Tls.Port(), "Y", Ca, Pki().Path("no-such.token"));
    Define("System CAs", "localhost", Tls.Port(), "Y", "", Good);
    Define("Stranger CA", "localhost", Tls.Port(), "Y", Pki().Path("stranger-ca.pem"), Good);
    Define("Bad CA file", "localhost", Tls.Port(), "Y", Pki().Path("no-such-ca.pem"), Good);
    Define("Expired", "localhost", Expired.Port(), "Y", Ca, Good);
    Define("Wrong host", "localhost", WrongHost.Port(), "Y", Ca, Good);
    Define("TLS to plain", "localhost", Plain.Sim().Port(), "Y", Ca, "");
    Define("Plain to TLS", "localhost", Tls.Port(), "N", "", Good);
    // Refused before anything is sent: the host is never even looked up.
    Define("Token in clear", "broker.invalid", Tls.Port(), "N", "", Good);

    struct TCase {
        const char16_t* Name;
        std::string Says;
    };
    for (const TCase& T : {
             TCase{u"No token", "The broker at localhost:" + Tp +
                                    " asks for a token, and the definition names no token file. The broker "
                                    "says: This broker "
                                    "asks for a token."},
             TCase{u"Wrong token", "The broker at localhost:" + Tp + " refused the token of \"" +
                                       Pki().Path("wrong.token") +
                                       "\". The broker says: The token is not known to this broker."},
             TCase{u"Open token",
                   "The token file \"" + Pki().Path("open.token") +
                       "\" can be read or written by other users (mode 0644); it is not used."},
             TCase{u"Missing token", "The token file \"" + Pki().Path("no-such.token") +
                                         "\" cannot be read: No such file or directory."},
             TCase{u"System CAs",
                   "The certificate of the broker at localhost:" + Tp +
                       " is not trusted: it was checked against the system's trusted certificates"},
             TCase{u"Stranger CA", "The certificate of the broker at localhost:" + Tp +
                                       " is not trusted: it was checked against the CA file \"" +
                                       Pki().Path("stranger-ca.pem") + "\""},
             TCase{u"Bad CA file", "The CA file \"" + Pki().Path("no-such-ca.pem") +
                                       "\" that the definition names cannot be used"},
             TCase{u"Expired", "The certificate of the broker at localhost:" +
                                   std::to_string(Expired.Port()) + " has expired"},
             TCase{u"Wrong host",
                   "The certificate of the broker at localhost:" + std::to_string(WrongHost.Port()) +
                       " is not for the host name \"localhost\""},
             TCase{u"TLS to plain", "The broker at localhost:" + std::to_string(Plain.Sim().Port()) +
                                        " does not answer with TLS, which this definition uses"},
             TCase{u"Plain to TLS",
                   "a broker that serves TLS does this to plain HTTP, and this definition does "
                   "not use TLS"},
             TCase{u"Token in clear", "The definition names the token file \"" + Good +
                                          "\" but does not use TLS: the token is not sent in clear text to "
                                          "the broker at broker.invalid:" +
                                          Tp + "."},
         }) {
        const auto Start = std::chrono::steady_clock::now();
        ENPXException E = Raised([&] { TNPXMonitor M(T.Name); });
        EXPECT_LT(SecondsSince(Start), 3.5) << WideToUtf8(T.Name); // the definitions' time-out is 3 s
        EXPECT_EQ(E.MessageId, IdCannotAccessBroker) << WideToUtf8(T.Name);
        const std::string Detail = WideToUtf8(E.Detail);
        EXPECT_NE(Detail.find(T.Says), std::string::npos) << WideToUtf8(T.Name) << ": " << Detail;
        EXPECT_EQ(Detail.find("read-"), std::string::npos) << Detail; // no token, ever
        EXPECT_EQ(Detail.find("operate-"), std::string::npos) << Detail;
    }
}
