// WDXExporter as a program, and scraped by a real Prometheus server: both
// started by the test on loopback with bounded waits, every process ended
// by the test that started it.

#include "ExpositionText.h"
#include "WdxVersion.h"
#include "brokerstore/BrokerStore.h"
#include "exporter/ListenAddress.h"
#include "statshost/StatsClient.h"
#include "support/BrokerDefinitions.h"
#include "support/TempStore.h"
#include "support/TestPki.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <crypt.h>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace {

using TClock = std::chrono::steady_clock;

std::string ReadFile(const std::string& Path) {
    std::ifstream In(Path);
    std::stringstream S;
    S << In.rdbuf();
    return S.str();
}

// One child process whose stdout and stderr go to files in Dir. The
// destructor kills and reaps a child that is still running.
class TChild {
public:
    TChild(const std::string& Dir, const std::string& Tag, std::vector<std::string> Args)
        : FOut(Dir + "/" + Tag + ".out"), FErr(Dir + "/" + Tag + ".err") {
        posix_spawn_file_actions_t A;
        posix_spawn_file_actions_init(&A);
        posix_spawn_file_actions_addopen(&A, 1, FOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&A, 2, FErr.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&A, 0, "/dev/null", O_RDONLY, 0);
        std::vector<char*> Argv;
        for (auto& S : Args)
            Argv.push_back(S.data());
        Argv.push_back(nullptr);
        int Rc = posix_spawn(&FPid, Argv[0], &A, nullptr, Argv.data(), environ);
        posix_spawn_file_actions_destroy(&A);
        if (Rc != 0)
            throw std::runtime_error("cannot start " + Args[0]);
    }
    ~TChild() {
        if (FPid > 0 && !FExited) {
            kill(FPid, SIGKILL);
            waitpid(FPid, nullptr, 0);
        }
    }
    // The first line on stdout, or empty when none came within Seconds.
    std::string FirstLine(double Seconds) {
        auto Deadline = TClock::now() + std::chrono::duration<double>(Seconds);
        while (TClock::now() < Deadline) {
            std::string Out = ReadFile(FOut);
            if (auto Nl = Out.find('\n'); Nl != std::string::npos)
                return Out.substr(0, Nl);
            if (Wait(0) >= 0)
                return {};
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return {};
    }
    // The exit status, or -1 when the child did not end within Seconds.
    int Wait(double Seconds) {
        auto Deadline = TClock::now() + std::chrono::duration<double>(Seconds);
        do {
            int Status = 0;
            if (FExited)
                return FStatus;
            if (waitpid(FPid, &Status, WNOHANG) == FPid) {
                FExited = true;
                FStatus = WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status);
                return FStatus;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } while (TClock::now() < Deadline);
        return -1;
    }
    // SIGTERM, then the exit status within Seconds (SIGKILL after that, -1).
    int Stop(double Seconds) {
        if (!FExited)
            kill(FPid, SIGTERM);
        return Wait(Seconds);
    }
    std::string Out() const { return ReadFile(FOut); }
    std::string Errors() const { return ReadFile(FErr); }

private:
    std::string FOut, FErr;
    pid_t FPid = -1;
    bool FExited = false;
    int FStatus = -1;
};

int PortOf(const std::string& Line) {
    const std::string Prefix = "listening on 127.0.0.1:";
    return Line.rfind(Prefix, 0) == 0 ? std::stoi(Line.substr(Prefix.size())) : 0;
}

void Define(const std::string& Name, int Port, wdx::brokerstore::TBrokerScope Scope) {
    wdx::testsupport::Define(Scope, Name, "127.0.0.1", std::to_string(Port), "3");
}

class ExporterProgram : public ::testing::Test {
protected:
    wdx::testsupport::TTempStore Store;
    std::string Dir = Store.Dir();
    int PromPort = 0;
    TChild Exporter(const std::string& Tag, std::vector<std::string> Args) {
        Args.insert(Args.begin(), WDX_EXPORTER_PATH);
        return TChild(Dir, Tag, std::move(Args));
    }
    // A Prometheus server on loopback that scrapes every second as
    // ScrapeConfigs says; null when it would not start.
    std::unique_ptr<TChild> StartPrometheus(const std::string& ScrapeConfigs) {
        std::ofstream(Dir + "/prometheus.yml") << "global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                                               << ScrapeConfigs;
        // The kernel's free port may be taken by someone else before Prometheus
        // binds it; then it fails at once and another port is tried.
        std::unique_ptr<TChild> Prom;
        for (int Attempt = 0; Attempt < 3; ++Attempt) {
            PromPort = wdx::exporter::FreePort("127.0.0.1");
            Prom = std::make_unique<TChild>(
                Dir, "prometheus" + std::to_string(Attempt),
                std::vector<std::string>{WDX_PROMETHEUS, "--config.file=" + Dir + "/prometheus.yml",
                                         "--storage.tsdb.path=" + Dir + "/tsdb" + std::to_string(Attempt),
                                         "--web.listen-address=127.0.0.1:" + std::to_string(PromPort)});
            if (Prom->Wait(1.5) < 0)
                return Prom;
        }
        ADD_FAILURE() << "Prometheus did not start: " << Prom->Errors().substr(0, 4000);
        return nullptr;
    }
    // The result of Query once it holds Count series, asked until it does
    // (bounded); null when it never did.
    nlohmann::json QueryUntil(const std::string& Query, std::size_t Count) {
        auto Deadline = TClock::now() + std::chrono::seconds(40);
        while (TClock::now() < Deadline) {
            httplib::Client C("127.0.0.1", PromPort);
            C.set_connection_timeout(2);
            C.set_read_timeout(5);
            auto R = C.Get("/api/v1/query?query=" + httplib::detail::encode_query_param(Query));
            if (R && R->status == 200) {
                auto J = nlohmann::json::parse(R->body, nullptr, false);
                if (!J.is_discarded() && J["data"]["result"].size() == Count)
                    return J["data"]["result"];
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
        return nullptr;
    }
};

TEST_F(ExporterProgram, VersionHelpAndStartUpErrors) {
    TChild Version = Exporter("version", {"--version"});
    EXPECT_EQ(Version.Wait(10), 0);
    EXPECT_EQ(Version.Out(), std::string("WDXExporter ") + wdx::Version + "\n");
    TChild Help = Exporter("help", {"--help"});
    EXPECT_EQ(Help.Wait(10), 0);
    for (const char* Word :
         {"--broker", "--services", "--listen", "127.0.0.1:9563", "WDX_SYSTEM_STORE", "--web.config.file"})
        EXPECT_NE(Help.Out().find(Word), std::string::npos) << Word;

    TChild Bad = Exporter("bad", {"--frobnicate"});
    EXPECT_EQ(Bad.Wait(10), 1);
    EXPECT_NE(Bad.Errors().find("--frobnicate"), std::string::npos) << Bad.Errors();
    TChild BadListen = Exporter("badlisten", {"--listen", "127.0.0.1:99999"});
    EXPECT_EQ(BadListen.Wait(10), 1);
    EXPECT_NE(BadListen.Errors().find("not a number from 0 to 65535"), std::string::npos)
        << BadListen.Errors();

    TChild BadWeb = Exporter("badweb", {"--listen", "127.0.0.1:0", "--web.config.file", Dir + "/none.yml"});
    EXPECT_EQ(BadWeb.Wait(10), 1);
    EXPECT_NE(BadWeb.Errors().find("Cannot read the web configuration " + Dir + "/none.yml"),
              std::string::npos)
        << BadWeb.Errors();
    EXPECT_EQ(BadWeb.Out(), "");

    TChild First = Exporter("first", {"--listen", "127.0.0.1:0"});
    int Port = PortOf(First.FirstLine(10));
    ASSERT_GT(Port, 0) << First.Errors();
    TChild Taken = Exporter("taken", {"--listen", "127.0.0.1:" + std::to_string(Port)});
    EXPECT_EQ(Taken.Wait(10), 1);
    EXPECT_NE(Taken.Errors().find("Cannot listen on 127.0.0.1:" + std::to_string(Port)), std::string::npos)
        << Taken.Errors();
    EXPECT_NE(Taken.Errors().find("Address already in use"), std::string::npos) << Taken.Errors();
    EXPECT_EQ(First.Stop(10), 0);
    EXPECT_NE(First.Errors().find("stopped (SIGTERM)"), std::string::npos) << First.Errors();

    std::ofstream(Store.UserPath()) << "not a store";
    TChild Damaged = Exporter("damaged", {"--listen", "127.0.0.1:0"});
    EXPECT_EQ(Damaged.Wait(10), 1);
    EXPECT_NE(Damaged.Errors().find("The User settings (" + Store.UserPath() + ") cannot be read"),
              std::string::npos)
        << Damaged.Errors();
    EXPECT_EQ(Damaged.Out(), "");
}

TEST_F(ExporterProgram, APrometheusServerScrapesTheSimulatorsFigures) {
    const std::string Scenario = Dir + "/scenario.json";
    std::ofstream(Scenario) << R"json({"broker": "Sim", "components": [
        {"name": "Orders", "maximum": 8, "active": 3, "requests": 120, "queued": 2, "queueTime": 15,
         "serviceTime": 40, "services": [{"name": "Orders.Create", "requests": 100}]},
        {"name": "Say \"hi\" \\ Grüße", "maximum": 2, "active": 1, "requests": 77}]})json";
    TChild Sim(Dir, "sim", {WDX_BROKERSIM_PATH, "--scenario", Scenario, "--port", "0", "--tick-ms", "0"});
    int SimPort = PortOf(Sim.FirstLine(10));
    ASSERT_GT(SimPort, 0) << Sim.Errors();
    Define("Plant", SimPort, wdx::brokerstore::scSystem);

    TChild Exp = Exporter("exporter", {"--listen", "127.0.0.1:0", "--services"});
    int ExpPort = PortOf(Exp.FirstLine(10));
    ASSERT_GT(ExpPort, 0) << Exp.Errors();

    std::unique_ptr<TChild> Prom = StartPrometheus("scrape_configs:\n  - job_name: wdx\n    static_configs:\n"
                                                   "      - targets: ['127.0.0.1:" +
                                                   std::to_string(ExpPort) + "']\n");
    ASSERT_TRUE(Prom);
    nlohmann::json Result = QueryUntil("wdx_component_requests_total", 2);
    ASSERT_FALSE(Result.is_null()) << "no series in Prometheus\n" << Prom->Errors().substr(0, 4000);

    wdx::statshost::TStatsClient Own("127.0.0.1", SimPort, 5);
    auto List = Own.GetComponents();
    ASSERT_TRUE(List.Ok()) << List.Error().Text;
    std::map<std::string, int> Expected;
    for (const auto& C : List.Value())
        Expected[C.Name] = C.Requests;
    std::map<std::string, int> Seen;
    for (const auto& S : Result) {
        EXPECT_EQ(S["metric"]["broker"], "Plant");
        EXPECT_EQ(S["metric"]["scope"], "System");
        EXPECT_EQ(S["metric"]["job"], "wdx");
        Seen[S["metric"]["component"].get<std::string>()] = std::stoi(S["value"][1].get<std::string>());
    }
    EXPECT_EQ(Seen, Expected);
    EXPECT_EQ(Expected.count("Say \"hi\" \\ Grüße"), 1u);

    EXPECT_EQ(Prom->Stop(20), 0) << Prom->Errors().substr(0, 2000);
    EXPECT_EQ(Exp.Stop(10), 0) << Exp.Errors();
    EXPECT_EQ(Sim.Stop(10), 0) << Sim.Errors();
}

TEST_F(ExporterProgram, PrometheusScrapesOverTlsWithAPasswordAndAWrongOneIsDown) {
    const wdx::testsupport::TTestPki& Pki = wdx::testsupport::TTestPki::Shared();
    TChild Sim(Dir, "sim", {WDX_BROKERSIM_PATH, "--components", "2", "--port", "0", "--tick-ms", "0"});
    int SimPort = PortOf(Sim.FirstLine(10));
    ASSERT_GT(SimPort, 0) << Sim.Errors();
    Define("Plant", SimPort, wdx::brokerstore::scUser);

    // The password is "scrape-secret"; the hash is bcrypt as crypt(3) makes it.
    char Salt[CRYPT_GENSALT_OUTPUT_SIZE];
    ASSERT_TRUE(crypt_gensalt_rn("$2y$", 5, nullptr, 0, Salt, sizeof Salt));
    crypt_data Data{};
    const std::string Hash = crypt_r("scrape-secret", Salt, &Data);
    std::ofstream(Dir + "/web.yml") << "tls_server_config:\n  cert_file: " << Pki.Path("server.pem")
                                    << "\n  key_file: " << Pki.Path("server.key")
                                    << "\nbasic_auth_users:\n  prometheus: '" << Hash << "'\n";
    TChild Exp = Exporter("exporter", {"--listen", "[::]:0", "--web.config.file", Dir + "/web.yml"});
    const std::string Line = Exp.FirstLine(10);
    const std::string Prefix = "listening on [::]:";
    ASSERT_EQ(Line.rfind(Prefix, 0), 0u) << Line << Exp.Errors();
    const std::string ExpPort = Line.substr(Prefix.size());

    auto Job = [&](const std::string& Name, const std::string& Password) {
        return "  - job_name: " + Name +
               "\n    scheme: https\n    tls_config:\n      ca_file: " + Pki.Path("ca.pem") +
               "\n      server_name: localhost\n    basic_auth:\n      username: prometheus\n      "
               "password: " +
               Password + "\n    static_configs:\n      - targets: ['127.0.0.1:" + ExpPort + "']\n";
    };
    std::unique_ptr<TChild> Prom =
        StartPrometheus("scrape_configs:\n" + Job("good", "scrape-secret") + Job("wrong", "not-the-secret"));
    ASSERT_TRUE(Prom);

    nlohmann::json Figures = QueryUntil("wdx_component_requests_total{job=\"good\"}", 2);
    ASSERT_FALSE(Figures.is_null()) << Prom->Errors().substr(0, 4000);
    for (const auto& S : Figures)
        EXPECT_EQ(S["metric"]["broker"], "Plant");
    nlohmann::json Up = QueryUntil("up", 2);
    ASSERT_FALSE(Up.is_null());
    std::map<std::string, std::string> UpByJob;
    for (const auto& S : Up)
        UpByJob[S["metric"]["job"].get<std::string>()] = S["value"][1].get<std::string>();
    EXPECT_EQ(UpByJob["good"], "1");
    EXPECT_EQ(UpByJob["wrong"], "0");
    EXPECT_TRUE(QueryUntil("wdx_broker_up{job=\"wrong\"}", 0).is_array());
    // Why the wrong job is down, as Prometheus tells it.
    httplib::Client C("127.0.0.1", PromPort);
    auto Targets = C.Get("/api/v1/targets");
    ASSERT_TRUE(Targets);
    EXPECT_NE(Targets->body.find("401 Unauthorized"), std::string::npos) << Targets->body.substr(0, 3000);

    EXPECT_EQ(Prom->Stop(20), 0) << Prom->Errors().substr(0, 2000);
    EXPECT_EQ(Exp.Stop(10), 0) << Exp.Errors();
    EXPECT_EQ(Sim.Stop(10), 0) << Sim.Errors();
}

} // namespace
