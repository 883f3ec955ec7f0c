// The simulator as a secure broker: TLS from a certificate it is given,
// bearer tokens with the roles read and operate, and the audit trail.

#include "brokersim/SimHarness.h"
#include "support/TestPki.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace wdx::brokersim;
using wdx::testing::TSimHarness;
using wdx::testsupport::TTestPki;

namespace {

const TTestPki& Pki() {
    return TTestPki::Shared();
}

std::string WriteFile(const std::string& Name, const std::string& Text) {
    std::string Path = Pki().Path(Name);
    std::ofstream(Path) << Text;
    return Path;
}

std::string Tokens() {
    return WriteFile("tokens", "# who may ask\n\n reader  read " + HashToken("r-secret") + "\nops operate " +
                                   HashToken("o-secret") + "\r\n");
}

std::vector<nlohmann::json> AuditLines(const std::string& Path) {
    std::ifstream In(Path);
    std::vector<nlohmann::json> Lines;
    for (std::string Line; std::getline(In, Line);)
        Lines.push_back(nlohmann::json::parse(Line));
    return Lines;
}

TSimServerOptions Secure(bool Tls, const std::string& Audit = {}) {
    TSimServerOptions O;
    if (Tls) {
        O.CertFile = Pki().Path("server.pem");
        O.KeyFile = Pki().Path("server.key");
    }
    O.TokenFile = Tokens();
    O.AuditFile = Audit;
    return O;
}

int ErrorCode(const httplib::Result& R) {
    return nlohmann::json::parse(R->body)["error"]["code"].get<int>();
}

} // namespace

TEST(SimSecurity, ServesTlsOnlyAndTheHashOfATokenIsSha256) {
    EXPECT_EQ(HashToken("abc"), "sha256:ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    TSimServerOptions O;
    O.CertFile = Pki().Path("server.pem");
    O.KeyFile = Pki().Path("server.key");
    TSimHarness Sim(wdx::testing::SmallScenario, 1, O);
    httplib::SSLClient Tls("localhost", Sim.Port());
    Tls.set_ca_cert_path(Pki().Path("ca.pem").c_str());
    Tls.enable_server_certificate_verification(true);
    auto R = Tls.Get("/v1/broker");
    ASSERT_TRUE(R) << httplib::to_string(R.error());
    EXPECT_EQ(R->status, 200);
    // Plain HTTP gets no answer from a TLS port.
    httplib::Client Plain("127.0.0.1", Sim.Port());
    Plain.set_read_timeout(3);
    auto P = Plain.Get("/v1/broker");
    EXPECT_TRUE(!P || P->status != 200);
}

TEST(SimSecurity, TokensAndRolesDecideWhatIsAnswered) {
    const std::string Audit = Pki().Path("audit-roles.log");
    std::remove(Audit.c_str());
    TSimHarness Sim(wdx::testing::SmallScenario, 1, Secure(true, Audit));
    httplib::SSLClient C("localhost", Sim.Port());
    C.set_ca_cert_path(Pki().Path("ca.pem").c_str());
    C.enable_server_certificate_verification(true);
    const std::string Action = R"({"action": "setmax", "value": 3})";
    const std::string Path = "/v1/components/Orders/actions";

    auto None = C.Get("/v1/components");
    ASSERT_TRUE(None);
    EXPECT_EQ(None->status, 401);
    EXPECT_EQ(ErrorCode(None), ecNoToken);
    EXPECT_EQ(None->get_header_value("WWW-Authenticate"), "Bearer realm=\"WDXBrokerSim\"");
    EXPECT_NE(None->body.find("asks for a token"), std::string::npos);

    auto Wrong = C.Get("/v1/components", {{"Authorization", "Bearer r-secreT"}});
    ASSERT_TRUE(Wrong);
    EXPECT_EQ(Wrong->status, 401);
    EXPECT_NE(Wrong->body.find("not known"), std::string::npos);
    // Another scheme carries no token.
    auto Basic = C.Get("/v1/components", {{"Authorization", "Basic cjpzZWNyZXQ="}});
    EXPECT_EQ(Basic->status, 401);

    auto Read = C.Get("/v1/components", {{"Authorization", "bearer  r-secret"}});
    ASSERT_TRUE(Read);
    EXPECT_EQ(Read->status, 200);

    auto Refused = C.Post(Path, {{"Authorization", "Bearer r-secret"}}, Action, "application/json");
    ASSERT_TRUE(Refused);
    EXPECT_EQ(Refused->status, 403);
    EXPECT_EQ(ErrorCode(Refused), ecNotPermitted);
    EXPECT_EQ(
        nlohmann::json::parse(Refused->body)["error"]["text"],
        "The token \"reader\" may only read; POST /v1/components/Orders/actions needs the role \"operate\".");
    EXPECT_EQ(Sim.Broker().Details("Orders").Status, 200);
    EXPECT_EQ(nlohmann::json::parse(Sim.Broker().Details("Orders").Body)["maximum"], 8);
    auto Anonymous = C.Post(Path, Action, "application/json");
    EXPECT_EQ(Anonymous->status, 401);

    auto Done = C.Post(Path, {{"Authorization", "Bearer o-secret"}}, Action, "application/json");
    ASSERT_TRUE(Done);
    EXPECT_EQ(Done->status, 200) << Done->body;
    EXPECT_EQ(nlohmann::json::parse(Sim.Broker().Details("Orders").Body)["maximum"], 3);
    auto Bad =
        C.Post("/v1/components/Price%20Engine%2F%CE%B1%25/actions", {{"Authorization", "Bearer o-secret"}},
               R"({"action": "setmax", "value": 0})", "application/json");
    EXPECT_EQ(Bad->status, 400);

    // One line per action, refused ones included; never a token.
    std::vector<nlohmann::json> Lines = AuditLines(Audit);
    ASSERT_EQ(Lines.size(), 4u);
    EXPECT_EQ(Lines[0]["token"], "reader");
    EXPECT_EQ(Lines[0]["component"], "Orders");
    EXPECT_EQ(Lines[0]["action"], "setmax");
    EXPECT_EQ(Lines[0]["value"], 3);
    EXPECT_EQ(Lines[0]["status"], 403);
    EXPECT_EQ(Lines[1]["token"], "-");
    EXPECT_EQ(Lines[1]["status"], 401);
    EXPECT_EQ(Lines[2]["token"], "ops");
    EXPECT_EQ(Lines[2]["result"], "done");
    EXPECT_EQ(Lines[3]["component"], "Price Engine/\u03b1%");
    EXPECT_EQ(Lines[3]["value"], 0);
    EXPECT_NE(Lines[3]["result"].get<std::string>().find("from 1 to 10000"), std::string::npos);
    for (const auto& L : Lines) {
        EXPECT_FALSE(L["time"].get<std::string>().empty());
        EXPECT_EQ(L.dump().find("secret"), std::string::npos);
    }
}

TEST(SimSecurity, WhatCannotBeUsedStopsTheStartWithItsReason) {
    auto StartFails = [](TSimServerOptions O, const std::string& Expected) {
        TSimServer S(std::make_shared<TSimBroker>(TSimScenario{}, 1), O);
        try {
            S.Start();
            ADD_FAILURE() << "started; expected: " << Expected;
        } catch (const ESimServer& E) {
            EXPECT_NE(std::string(E.what()).find(Expected), std::string::npos) << E.what();
        }
    };
    TSimServerOptions O;
    O.Host = "127.0.0.1";
    O.TickMillis = 0;
    O.TokenFile = WriteFile("bad-role", "a read " + HashToken("x") + "\nb admin " + HashToken("y") + "\n");
    StartFails(O, "bad-role, line 2: the role must be \"read\" or \"operate\", not \"admin\"");
    O.TokenFile = WriteFile("bad-hash", "a read sha256:abcd\n");
    StartFails(O, "line 1: the hash must be");
    O.TokenFile = WriteFile("twice", "a read " + HashToken("x") + "\na operate " + HashToken("y") + "\n");
    StartFails(O, "the name \"a\" is given twice");
    O.TokenFile = WriteFile("empty", "# none yet\n");
    StartFails(O, "holds no token");
    O.TokenFile = Pki().Path("missing");
    StartFails(O, "Cannot read the token file");
    O.TokenFile.clear();
    O.CertFile = Pki().Path("server.pem");
    O.KeyFile = Pki().Path("client.key"); // not this certificate's key
    StartFails(O, "Cannot serve TLS with the certificate");
    O.KeyFile.clear();
    StartFails(O, "needs both a certificate file and its key file");
}
