// WDXBrokerSim under bad clients: the time a good request takes (a new
// connection, GET /v1/components of 1,000 components, decoded by
// TStatsClient) while 200 connections send a header byte a second, and
// while 1,000 connections stay idle (opened again as the simulator closes
// them), beside the same requests with no flood; and the simulator's
// memory and threads (from /proc) after each phase. The simulator runs as a
// process of its own, so its figures are its own.
//
//   build/bench/bench_simflood [SECONDS-PER-PHASE]

#include "Flood.h"
#include "statshost/StatsClient.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

using namespace wdx;
using TClock = std::chrono::steady_clock;

namespace {

struct TSim {
    pid_t Pid = -1;
    int Port = 0;
};

TSim StartSim() {
    int out[2];
    if (pipe(out) != 0)
        std::exit(1);
    TSim sim;
    sim.Pid = fork();
    if (sim.Pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        execl(WDX_BROKERSIM_PATH, "WDXBrokerSim", "--components", "1000", "--tick-ms", "0", "--port", "0",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string line;
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n')
        line += c;
    close(out[0]);
    auto colon = line.rfind(':');
    if (line.rfind("listening on ", 0) != 0 || colon == std::string::npos) {
        std::fprintf(stderr, "the simulator did not start: %s\n", line.c_str());
        std::exit(1);
    }
    sim.Port = std::atoi(line.c_str() + colon + 1);
    return sim;
}

std::string Status(pid_t Pid, const char* Key) {
    std::ifstream in("/proc/" + std::to_string(Pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(Key, 0) == 0)
            return line.substr(line.find(':') + 1);
    return "?";
}

double Median(std::vector<double> V) {
    std::sort(V.begin(), V.end());
    return V.empty() ? 0 : V[V.size() / 2];
}

// Good requests every 200 ms for Seconds; Reflood (if set) is called every
// 1.5 s to keep the flood up.
template <class F> void Phase(const char* Name, const TSim& Sim, int Seconds, F&& Reflood) {
    std::vector<double> ms;
    int failed = 0;
    auto end = TClock::now() + std::chrono::seconds(Seconds);
    auto nextFlood = TClock::now();
    while (TClock::now() < end) {
        if (TClock::now() >= nextFlood) {
            Reflood();
            nextFlood = TClock::now() + std::chrono::milliseconds(1500);
        }
        statshost::TStatsClient client("127.0.0.1", Sim.Port, 5);
        auto start = TClock::now();
        auto list = client.GetComponents();
        double took = std::chrono::duration<double, std::milli>(TClock::now() - start).count();
        if (list.Ok() && list.Value().size() == 1000)
            ms.push_back(took);
        else
            ++failed;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    std::printf(
        "%-34s requests %3zu  failed %d  median %7.1f ms  max %7.1f ms |%s threads,%s peak RSS,%s RSS\n",
        Name, ms.size(), failed, Median(ms), ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end()),
        Status(Sim.Pid, "Threads").c_str(), Status(Sim.Pid, "VmHWM").c_str(),
        Status(Sim.Pid, "VmRSS").c_str());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    if (testing::RaiseFileLimit() < 2200) {
        std::fprintf(stderr, "needs 2200 open descriptors\n");
        return 1;
    }
    TSim sim = StartSim();
    std::unique_ptr<testing::TFlood> flood;
    Phase("no flood", sim, seconds, [] {});
    flood = std::make_unique<testing::TFlood>(sim.Port, 200, 1000);
    Phase("200 slow-header connections", sim, seconds, [] {});
    flood.reset();
    Phase("1,000 idle connections (renewed)", sim, seconds, [&] {
        flood.reset();
        flood = std::make_unique<testing::TFlood>(sim.Port, 1000, 0);
    });
    flood.reset();
    std::this_thread::sleep_for(std::chrono::seconds(4));
    Phase("no flood, after", sim, 2, [] {});
    kill(sim.Pid, SIGTERM);
    int status = 0;
    waitpid(sim.Pid, &status, 0);
    return 0;
}
