// The exporter's endpoint behind TLS and a password: the web configuration
// file, bcrypt users, client certificates and IPv6, served in-process.

#include "ExpositionText.h"
#include "exporter/ExporterServer.h"
#include "registry/Registry.h"
#include "statshost/StandInHarness.h"
#include "support/TestPki.h"

#include <crypt.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include <fstream>
#include <sys/stat.h>

using namespace wdx::exporter;
using wdx::testsupport::TTestPki;

namespace {

const TTestPki& Pki() {
    return TTestPki::Shared();
}

// A bcrypt hash of Password at the lowest cost (tests need no strength).
std::string Bcrypt(const std::string& Password) {
    char Salt[CRYPT_GENSALT_OUTPUT_SIZE];
    EXPECT_TRUE(crypt_gensalt_rn("$2b$", 4, nullptr, 0, Salt, sizeof Salt));
    crypt_data Data{};
    return crypt_r(Password.c_str(), Salt, &Data);
}

std::string ConfigError(const std::string& Text) {
    try {
        ParseWebConfig(Text, "/etc/wdx", "web.yml");
    } catch (const EWebConfig& E) {
        return E.what();
    }
    return "(accepted)";
}

void NoLog(const std::string&) {}

} // namespace

TEST(WebConfig, ReadsTheExporterToolkitFormat) {
    const std::string Hash = Bcrypt("pw");
    TWebConfig C =
        ParseWebConfig("tls_server_config:\n  cert_file: tls/server.pem\n  key_file: /abs/server.key\n"
                       "  client_auth_type: RequireAndVerifyClientCert\n  client_ca_file: ca.pem\n"
                       "  min_version: TLS13\nbasic_auth_users:\n  prometheus: '" +
                           Hash + "'\n  other: " + Hash + "\n",
                       "/etc/wdx", "web.yml");
    EXPECT_EQ(C.CertFile, "/etc/wdx/tls/server.pem"); // relative to the file's folder
    EXPECT_EQ(C.KeyFile, "/abs/server.key");
    EXPECT_EQ(C.ClientCaFile, "/etc/wdx/ca.pem");
    EXPECT_EQ(C.ClientAuth, TClientAuth::RequireAndVerifyClientCert);
    EXPECT_TRUE(C.Tls13Only);
    EXPECT_EQ(C.Users.size(), 2u);
    EXPECT_EQ(C.Users["prometheus"], Hash);
    // Empty file and empty sections: plain HTTP and no password, as without a file.
    EXPECT_FALSE(ParseWebConfig("", "/", "e").Tls());
    EXPECT_TRUE(ParseWebConfig("tls_server_config:\nbasic_auth_users:\n", "/", "e").Users.empty());

    // Whatever cannot be used is named, never left out.
    EXPECT_EQ(
        ConfigError("http_server_config:\n  http2: false\n"),
        "web.yml, line 1: http_server_config is not supported by WDXExporter (only tls_server_config and "
        "basic_auth_users).");
    EXPECT_EQ(ConfigError("tls_server_config:\n  cert_file: a\n  key_file: b\n  cipher_suites: [x]\n"),
              "web.yml, line 4: tls_server_config.cipher_suites is not supported by WDXExporter.");
    EXPECT_EQ(ConfigError("tls_server_config:\n  cert_file: a\n"),
              "web.yml: tls_server_config needs both cert_file and key_file (key_file is missing).");
    EXPECT_NE(ConfigError("tls_server_config:\n  cert_file: a\n  key_file: b\n  client_auth_type: Maybe\n")
                  .find("line 4: client_auth_type \"Maybe\" is not one of"),
              std::string::npos);
    EXPECT_NE(ConfigError("tls_server_config:\n  cert_file: a\n  key_file: b\n  client_auth_type: "
                          "VerifyClientCertIfGiven\n")
                  .find("needs client_ca_file"),
              std::string::npos);
    EXPECT_NE(ConfigError("tls_server_config:\n  cert_file: a\n  key_file: b\n  client_ca_file: c\n")
                  .find("client_auth_type does not check client certificates"),
              std::string::npos);
    EXPECT_NE(ConfigError("tls_server_config:\n  cert_file: a\n  key_file: b\n  min_version: TLS10\n")
                  .find("min_version \"TLS10\" is not TLS12 or TLS13"),
              std::string::npos);
    EXPECT_NE(ConfigError("basic_auth_users:\n  a: [1, 2]\n").find("line 2"), std::string::npos);
    EXPECT_NE(ConfigError("basic_auth_users: {a: b\n").find("web.yml, line "), std::string::npos);
    EXPECT_NE(ConfigError("- a\n- b\n").find("must be a mapping"), std::string::npos);
    try {
        LoadWebConfig("/nonexistent/web.yml");
        ADD_FAILURE();
    } catch (const EWebConfig& E) {
        EXPECT_EQ(std::string(E.what()),
                  "Cannot read the web configuration /nonexistent/web.yml: No such file or directory.");
    }
}

TEST(WebConfig, BasicAuthChecksBcryptAndTheHeader) {
    TBasicAuth Auth({{"prom", Bcrypt("right")}, {"yo", Bcrypt("")}});
    EXPECT_TRUE(Auth.Enabled());
    EXPECT_TRUE(Auth.Check("prom", "right"));
    EXPECT_FALSE(Auth.Check("prom", "Right"));
    EXPECT_FALSE(Auth.Check("prom", "right "));
    EXPECT_FALSE(Auth.Check("nobody", "right"));
    EXPECT_FALSE(Auth.Check("", ""));
    EXPECT_TRUE(Auth.Check("yo", ""));
    EXPECT_FALSE(TBasicAuth(std::map<std::string, std::string>{}).Enabled());
    for (const char* Bad : {"plain", "$1$abc$abcdefghijklmnopqrstuv", "$2b$04$short"}) {
        try {
            TBasicAuth(std::map<std::string, std::string>{{"u", Bad}});
            ADD_FAILURE() << Bad;
        } catch (const EWebConfig& E) {
            EXPECT_EQ(std::string(E.what()),
                      "The hash of the user \"u\" is not a bcrypt hash ($2a$, $2b$ or $2y$).");
        }
    }

    std::string User, Password;
    ASSERT_TRUE(ParseBasicAuth("Basic cHJvbTpyaWdodA==", User, Password)); // prom:right
    EXPECT_EQ(User, "prom");
    EXPECT_EQ(Password, "right");
    ASSERT_TRUE(ParseBasicAuth("basic  YTpiOmM=", User, Password)); // a:b:c
    EXPECT_EQ(User, "a");
    EXPECT_EQ(Password, "b:c");
    for (const char* Bad :
         {"", "Bearer cHJvbTpyaWdodA==", "Basic", "Basic !!!!", "Basic cHJvbQ==", "Basic abc"})
        EXPECT_FALSE(ParseBasicAuth(Bad, User, Password)) << Bad;
}

class SecureExporter : public ::testing::Test {
protected:
    wdx::testing::TStandInHarness H; // temporary store, a simulated broker
    TExporterOptions Options() {
        TExporterOptions O;
        O.Listen = {"127.0.0.1", 0};
        O.Web.CertFile = Pki().Path("server.pem");
        O.Web.KeyFile = Pki().Path("server.key");
        O.Web.Users = {{"prom", Bcrypt("right")}};
        return O;
    }
    static std::unique_ptr<httplib::SSLClient> Client(const std::string& Host, int Port) {
        auto C = std::make_unique<httplib::SSLClient>(Host, Port);
        C->set_ca_cert_path(Pki().Path("ca.pem").c_str());
        C->enable_server_certificate_verification(true);
        C->set_connection_timeout(5);
        C->set_read_timeout(30);
        return C;
    }
};

TEST_F(SecureExporter, EveryPathAsksForTheRightPasswordOverTls) {
    H.DefineSim("Plant");
    TExporterServer Server(Options(), NoLog);
    auto Own = Client("localhost", Server.Address().Port);
    httplib::SSLClient& C = *Own;
    for (const char* Path : {"/metrics", "/", "/nothing"}) {
        auto None = C.Get(Path);
        ASSERT_TRUE(None) << httplib::to_string(None.error());
        EXPECT_EQ(None->status, 401) << Path;
        EXPECT_EQ(None->get_header_value("WWW-Authenticate"), "Basic realm=\"WDXExporter\"");
        EXPECT_EQ(None->body.find("wdx_"), std::string::npos);
    }
    C.set_basic_auth("prom", "wrong");
    EXPECT_EQ(C.Get("/metrics")->status, 401);
    C.set_basic_auth("stranger", "right");
    EXPECT_EQ(C.Get("/metrics")->status, 401);
    C.set_basic_auth("prom", "right");
    auto Good = C.Get("/metrics");
    ASSERT_TRUE(Good);
    EXPECT_EQ(Good->status, 200);
    EXPECT_NE(Good->body.find("wdx_broker_up{broker=\"Plant\""), std::string::npos) << Good->body;
    EXPECT_NE(Good->body.find("exposer_scrapes_total"), std::string::npos);
    EXPECT_EQ(C.Get("/")->status, 200);
    EXPECT_EQ(C.Post("/metrics", "{}", "application/json")->status, 405);

    // Plain HTTP gets nothing from the TLS port.
    httplib::Client Plain("127.0.0.1", Server.Address().Port);
    Plain.set_read_timeout(5);
    auto P = Plain.Get("/metrics");
    EXPECT_TRUE(!P || P->status != 200);
}

TEST_F(SecureExporter, ClientCertificatesWhenRequired) {
    TExporterOptions O = Options();
    O.Web.Users.clear();
    O.Web.ClientAuth = TClientAuth::RequireAndVerifyClientCert;
    O.Web.ClientCaFile = Pki().Path("ca.pem");
    TExporterServer Server(O, NoLog);
    auto Without = Client("localhost", Server.Address().Port);
    EXPECT_FALSE(Without->Get("/metrics"));
    httplib::SSLClient With("localhost", Server.Address().Port, Pki().Path("client.pem"),
                            Pki().Path("client.key"));
    With.set_ca_cert_path(Pki().Path("ca.pem").c_str());
    With.enable_server_certificate_verification(true);
    auto R = With.Get("/metrics");
    ASSERT_TRUE(R) << httplib::to_string(R.error());
    EXPECT_EQ(R->status, 200);
    // A certificate from a CA the exporter does not trust is refused.
    httplib::SSLClient Stranger("localhost", Server.Address().Port, Pki().Path("stranger.pem"),
                                Pki().Path("stranger.key"));
    Stranger.set_ca_cert_path(Pki().Path("ca.pem").c_str());
    EXPECT_FALSE(Stranger.Get("/metrics"));
}

TEST_F(SecureExporter, WhatCannotBeUsedStopsTheStart) {
    auto Fails = [](TExporterOptions O, const std::string& Expected) {
        try {
            TExporterServer S(O, NoLog);
            ADD_FAILURE() << "started; expected " << Expected;
        } catch (const EExporterStartup& E) {
            EXPECT_NE(std::string(E.what()).find(Expected), std::string::npos) << E.what();
        }
    };
    TExporterOptions O = Options();
    O.Web.KeyFile = Pki().Path("client.key");
    Fails(O, "Cannot serve TLS: cannot use the key " + Pki().Path("client.key") + ": ");
    Fails(O, "key values mismatch");
    O = Options();
    O.Web.CertFile = Pki().Path("missing.pem");
    Fails(O, "Cannot serve TLS: cannot use the certificate " + Pki().Path("missing.pem"));
    O = Options();
    O.Web.Users["bad"] = "not-a-hash";
    Fails(O, "The hash of the user \"bad\" is not a bcrypt hash");
}

TEST_F(SecureExporter, ListensOnIpv6AndIpv4) {
    TExporterOptions O;
    O.Listen = {"::", 0};
    TExporterServer Both(O, NoLog);
    EXPECT_EQ(Both.Address().Text(), "[::]:" + std::to_string(Both.Address().Port));
    for (const char* Host : {"127.0.0.1", "::1"}) {
        httplib::Client C(Host, Both.Address().Port);
        C.set_connection_timeout(5);
        auto R = C.Get("/metrics");
        ASSERT_TRUE(R) << Host;
        EXPECT_EQ(R->status, 200) << Host;
    }
    O.Listen = {"::1", 0};
    TExporterServer Six(O, NoLog);
    httplib::Client C6("::1", Six.Address().Port);
    EXPECT_EQ(C6.Get("/")->status, 200);
    httplib::Client C4("127.0.0.1", Six.Address().Port);
    C4.set_connection_timeout(2);
    EXPECT_FALSE(C4.Get("/"));
}

// The exporter reaches a broker through the same look-up as the monitor: its
// definition's TLS and token settings hold for every request of a scrape,
// the service lists (asked on clients made for what is left of the time-out)
// included.
TEST_F(SecureExporter, ReadsABrokerThatAsksForTlsAndAToken) {
    wdx::brokersim::TSimServerOptions Secure;
    Secure.CertFile = Pki().Path("server.pem");
    Secure.KeyFile = Pki().Path("server.key");
    Secure.TokenFile = Pki().Path("exporter-sim-tokens");
    std::ofstream(Secure.TokenFile) << "exporter read " << wdx::brokersim::HashToken("exp-token-1") << "\n";
    wdx::testing::TSimHarness Sim(wdx::testing::SmallScenario, 1, Secure);
    const std::string Token = Pki().Path("exporter.token");
    std::ofstream(Token) << "exp-token-1\n";
    chmod(Token.c_str(), 0600);
    wdx::testsupport::Define(wdx::brokerstore::scUser, "Secure", "localhost", std::to_string(Sim.Port()),
                             "5");
    wdx::testsupport::Define(wdx::brokerstore::scUser, "No token", "localhost", std::to_string(Sim.Port()),
                             "5");
    const std::string Product = std::string(wdx::brokerstore::ProductKey) + "\\";
    for (const char* Name : {"Secure", "No token"}) {
        ASSERT_TRUE(wdx::registry::WriteText(wdx::registry::TRegRoot::User, Product + Name, "UseTls", "Y"));
        ASSERT_TRUE(wdx::registry::WriteText(wdx::registry::TRegRoot::User, Product + Name, "TlsCaFile",
                                             Pki().Path("ca.pem")));
    }
    ASSERT_TRUE(
        wdx::registry::WriteText(wdx::registry::TRegRoot::User, Product + "Secure", "TokenFile", Token));

    // The first service list comes late, so the later ones are asked on a
    // client made for what is left of the time-out.
    wdx::brokersim::TFault Late;
    Late.Path = "/v1/components/Orders/services";
    Late.Kind = wdx::brokersim::TFaultKind::Stall;
    Late.Millis = 1500;
    Late.Count = 1;
    Sim.Faults().Add(Late);

    TExporterOptions O;
    O.Listen = {"127.0.0.1", 0};
    O.Collector.Services = true;
    O.Collector.Brokers = {"Secure", "No token"};
    std::vector<std::string> Lines;
    TExporterServer Server(O, [&](const std::string& L) { Lines.push_back(L); });
    wdx::testing::TExposition E = wdx::testing::Scrape(Server.Address().Port);
    EXPECT_EQ(E.Value("wdx_broker_up", {{"broker", "Secure"}}), 1) << E.Text;
    EXPECT_EQ(E.Value("wdx_broker_service_lists_failed", {{"broker", "Secure"}}), 0);
    EXPECT_FALSE(E.Find("wdx_service_requests_total", {{"broker", "Secure"}}).empty()) << E.Text;
    EXPECT_EQ(E.Value("wdx_broker_up", {{"broker", "No token"}}), 0);
    std::string Log;
    for (const auto& L : Lines)
        Log += L + "\n";
    EXPECT_NE(Log.find("asks for a token, and the definition names no token file"), std::string::npos) << Log;
    EXPECT_EQ(Log.find("exp-token-1"), std::string::npos) << Log;
}
