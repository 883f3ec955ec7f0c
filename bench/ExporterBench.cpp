// WDXExporter's /metrics against WDXBrokerSim, both as programs on loopback:
// one broker of 10,000 components, and one of 1,000 components with 10
// services each scraped with --services. The scrapes of the two alternate,
// so that a loaded machine weighs on both alike. Prints the time per scrape
// (median, min, max) and the exporter's peak memory (VmHWM). Beside them, in
// the same rotation, `curl -s` of the first broker's component list: what a
// scrape costs beyond fetching the list.
//
//   bench_exporter [SCRAPES] [COMPONENTS]   (defaults 15 and 10000)

#include "brokerstore/BrokerStore.h"
#include "support/TempStore.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using TClock = std::chrono::steady_clock;

struct TProcess {
    pid_t Pid = -1;
    std::string Out;
    TProcess(std::vector<std::string> Args, const std::string& OutFile) : Out(OutFile) {
        posix_spawn_file_actions_t A;
        posix_spawn_file_actions_init(&A);
        posix_spawn_file_actions_addopen(&A, 1, OutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        std::vector<char*> Argv;
        for (auto& S : Args)
            Argv.push_back(S.data());
        Argv.push_back(nullptr);
        if (posix_spawn(&Pid, Argv[0], &A, nullptr, Argv.data(), environ) != 0)
            throw std::runtime_error("cannot start " + Args[0]);
        posix_spawn_file_actions_destroy(&A);
    }
    ~TProcess() {
        kill(Pid, SIGTERM);
        for (int I = 0; I < 500; ++I) {
            if (waitpid(Pid, nullptr, WNOHANG) == Pid)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        kill(Pid, SIGKILL);
        waitpid(Pid, nullptr, 0);
    }
    int Port() const {
        for (int I = 0; I < 1500; ++I) {
            std::ifstream In(Out);
            std::string Line;
            if (std::getline(In, Line) && Line.rfind("listening on 127.0.0.1:", 0) == 0 && In)
                return std::stoi(Line.substr(23));
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        throw std::runtime_error("no port line in " + Out);
    }
    // CPU time the process has used, user and system, in ms.
    double CpuMillis() const {
        std::ifstream In("/proc/" + std::to_string(Pid) + "/stat");
        std::string All((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
        std::istringstream Fields(All.substr(All.rfind(')') + 2));
        std::string F;
        unsigned long long UTime = 0, STime = 0;
        for (int I = 3; I <= 15 && Fields >> F; ++I) {
            if (I == 14)
                UTime = std::stoull(F);
            if (I == 15)
                STime = std::stoull(F);
        }
        return (UTime + STime) * 1000.0 / sysconf(_SC_CLK_TCK);
    }
    long PeakKiB() const {
        std::ifstream In("/proc/" + std::to_string(Pid) + "/status");
        std::string Line;
        while (std::getline(In, Line))
            if (Line.rfind("VmHWM:", 0) == 0)
                return std::stol(Line.substr(6));
        return -1;
    }
};

struct TCase {
    std::string Title;
    std::unique_ptr<TProcess> Sim, Exporter;
    std::unique_ptr<httplib::Client> Client;
    std::vector<double> Millis;
    double Cpu = 0;
    std::size_t Bytes = 0;
};

// Wall time of `curl -s URL` to its end, in ms; negative when it failed.
double CurlMillis(const std::string& Url) {
    std::vector<std::string> Args{"curl", "-s", "-f", "-o", "/dev/null", Url};
    std::vector<char*> Argv;
    for (auto& S : Args)
        Argv.push_back(S.data());
    Argv.push_back(nullptr);
    const auto Start = TClock::now();
    pid_t Pid = -1;
    if (posix_spawnp(&Pid, "curl", nullptr, nullptr, Argv.data(), environ) != 0)
        return -1;
    int Status = 0;
    waitpid(Pid, &Status, 0);
    const double Ms = std::chrono::duration<double, std::milli>(TClock::now() - Start).count();
    return WIFEXITED(Status) && WEXITSTATUS(Status) == 0 ? Ms : -1;
}

} // namespace

int main(int argc, char** argv) {
    int Scrapes = argc > 1 ? std::atoi(argv[1]) : 15;
    const std::string Components = argc > 2 ? argv[2] : "10000";
    wdx::testsupport::TTempStore Store;
    TCase Cases[2];
    const std::string FirstTitle = Components + " components";
    const char* Titles[2] = {FirstTitle.c_str(), "1,000 components x 10 services, --services"};
    const char* SimArgs[2][2] = {{Components.c_str(), "0"}, {"1000", "10"}};
    for (int I = 0; I < 2; ++I) {
        TCase& C = Cases[I];
        C.Title = Titles[I];
        C.Sim = std::make_unique<TProcess>(
            std::vector<std::string>{WDX_BROKERSIM_PATH, "--components", SimArgs[I][0], "--services",
                                     SimArgs[I][1], "--params", "0", "--tick-ms", "0", "--port", "0"},
            Store.Dir() + "/sim" + std::to_string(I));
        wdx::brokerstore::TBrokerDefinition D;
        D.Name = "Bench" + std::to_string(I);
        D.HostName = "127.0.0.1";
        D.Port = std::to_string(C.Sim->Port());
        D.TimeOut = "30";
        wdx::brokerstore::WriteBrokerDefinition(D);
        std::vector<std::string> Args{WDX_EXPORTER_PATH, "--listen", "127.0.0.1:0", "--broker", D.Name};
        if (I == 1)
            Args.push_back("--services");
        C.Exporter = std::make_unique<TProcess>(Args, Store.Dir() + "/exporter" + std::to_string(I));
        C.Client = std::make_unique<httplib::Client>("127.0.0.1", C.Exporter->Port());
        C.Client->set_read_timeout(60);
    }
    const std::string ListUrl = "http://127.0.0.1:" + std::to_string(Cases[0].Sim->Port()) + "/v1/components";
    std::vector<double> Curl;
    for (int Round = 0; Round <= Scrapes; ++Round) {
        const double CurlMs = CurlMillis(ListUrl);
        if (CurlMs < 0) {
            std::cerr << "curl -s " << ListUrl << " failed\n";
            return 1;
        }
        if (Round > 0)
            Curl.push_back(CurlMs);
        for (TCase& C : Cases) {
            auto Start = TClock::now();
            double Cpu0 = C.Exporter->CpuMillis();
            auto R = C.Client->Get("/metrics");
            double Ms = std::chrono::duration<double, std::milli>(TClock::now() - Start).count();
            const std::string Up =
                "wdx_broker_up{broker=\"Bench" + std::to_string(&C - Cases) + "\",scope=\"User\"} 1\n";
            if (!R || R->status != 200 || R->body.find(Up) == std::string::npos) {
                std::cerr << C.Title << ": the scrape failed or the broker was not read\n";
                return 1;
            }
            C.Bytes = R->body.size();
            if (Round > 0) { // the first warms up both sides
                C.Millis.push_back(Ms);
                C.Cpu += C.Exporter->CpuMillis() - Cpu0;
            }
        }
    }
    std::printf("%-46s %8s %8s %8s %9s %9s %9s\n", "case", "median", "min", "max", "CPU/scr", "body KiB",
                "peak MiB");
    for (TCase& C : Cases) {
        std::sort(C.Millis.begin(), C.Millis.end());
        std::printf("%-46s %6.1fms %6.1fms %6.1fms %7.1fms %9zu %9.1f\n", C.Title.c_str(),
                    C.Millis[C.Millis.size() / 2], C.Millis.front(), C.Millis.back(), C.Cpu / C.Millis.size(),
                    C.Bytes / 1024, C.Exporter->PeakKiB() / 1024.0);
    }
    std::sort(Curl.begin(), Curl.end());
    std::printf("%-46s %6.1fms %6.1fms %6.1fms\n", ("curl -s, the list of " + FirstTitle).c_str(),
                Curl[Curl.size() / 2], Curl.front(), Curl.back());
    return 0;
}
