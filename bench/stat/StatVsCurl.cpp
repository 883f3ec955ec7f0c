// WDXStat as a whole process beside curl: `WDXStat components BROKER --json`
// against `curl -s` of the same component list, alternately, against one
// WDXBrokerSim serving N generated components on loopback. Prints the
// medians and their ratio (goal: WDXStat at most 2 times curl).
//
//   bench_stat_curl WDXStat WDXBrokerSim [components=10000] [rounds=30]
//
// The store is a temporary one (WDX_USER_STORE / WDX_SYSTEM_STORE), the
// simulator is stopped at the end, output goes to /dev/null.

#include "brokerstore/BrokerStore.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

pid_t Spawn(const std::vector<std::string>& Args, int Out) {
    std::vector<char*> Argv;
    for (const auto& A : Args)
        Argv.push_back(const_cast<char*>(A.c_str()));
    Argv.push_back(nullptr);
    posix_spawn_file_actions_t Actions;
    posix_spawn_file_actions_init(&Actions);
    posix_spawn_file_actions_adddup2(&Actions, Out, 1);
    posix_spawn_file_actions_addopen(&Actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t Pid = 0;
    const int Rc = posix_spawnp(&Pid, Argv[0], &Actions, nullptr, Argv.data(), environ);
    posix_spawn_file_actions_destroy(&Actions);
    if (Rc != 0)
        throw std::runtime_error("cannot start " + Args[0]);
    return Pid;
}

struct TTimes {
    double Wall = 0; // ms, spawn to end
    double Cpu = 0;  // ms, user and system time of the process
    double Peak = 0; // MB, the process's peak resident memory
};

// One run to its end; throws when it failed.
TTimes TimeRun(const std::vector<std::string>& Args, int Null) {
    const auto Start = std::chrono::steady_clock::now();
    const pid_t Pid = Spawn(Args, Null);
    int Status = 0;
    rusage Usage{};
    wait4(Pid, &Status, 0, &Usage);
    TTimes T;
    T.Wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - Start).count();
    auto Ms = [](const timeval& V) { return V.tv_sec * 1000.0 + V.tv_usec / 1000.0; };
    T.Cpu = Ms(Usage.ru_utime) + Ms(Usage.ru_stime);
    T.Peak = double(Usage.ru_maxrss) / 1024.0; // KiB
    if (!WIFEXITED(Status) || WEXITSTATUS(Status) != 0)
        throw std::runtime_error(Args[0] + " failed");
    return T;
}

double Median(std::vector<double> V) {
    std::sort(V.begin(), V.end());
    return V.size() % 2 ? V[V.size() / 2] : (V[V.size() / 2 - 1] + V[V.size() / 2]) / 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s WDXStat WDXBrokerSim [components] [rounds]\n", argv[0]);
        return 2;
    }
    const std::string Stat = argv[1], Sim = argv[2];
    const std::string Components = argc > 3 ? argv[3] : "10000";
    const int Rounds = argc > 4 ? std::atoi(argv[4]) : 30;

    char Dir[] = "/tmp/wdx-bench-stat-XXXXXX";
    if (!mkdtemp(Dir))
        return 1;
    setenv("WDX_USER_STORE", (std::string(Dir) + "/user.sqlite").c_str(), 1);
    setenv("WDX_SYSTEM_STORE", (std::string(Dir) + "/system.sqlite").c_str(), 1);

    int Pipe[2];
    if (pipe(Pipe) != 0)
        return 1;
    const pid_t SimPid = Spawn({Sim, "--components", Components, "--tick-ms", "0", "--port", "0"}, Pipe[1]);
    close(Pipe[1]);
    std::string Line;
    char C;
    while (read(Pipe[0], &C, 1) == 1 && C != '\n')
        Line += C;
    const std::size_t Colon = Line.rfind(':');
    int Status = 0;
    try {
        if (Line.rfind("listening on ", 0) != 0 || Colon == std::string::npos)
            throw std::runtime_error("WDXBrokerSim did not start: " + Line);
        const std::string Port = Line.substr(Colon + 1);
        wdx::brokerstore::TBrokerDefinition D;
        D.Name = "Bench";
        D.HostName = "127.0.0.1";
        D.Port = Port;
        D.TimeOut = "30";
        if (!wdx::brokerstore::WriteBrokerDefinition(D))
            throw std::runtime_error("cannot define the broker");

        const int Null = open("/dev/null", O_WRONLY);
        const std::vector<std::string> StatRun{Stat, "components", "Bench", "--json"};
        const std::vector<std::string> CurlRun{"curl", "-s", "-f",
                                               "http://127.0.0.1:" + Port + "/v1/components"};
        for (int I = 0; I < 3; ++I) { // warm-up: caches, the simulator's first answers
            TimeRun(StatRun, Null);
            TimeRun(CurlRun, Null);
        }
        std::vector<double> StatWall, CurlWall, StatCpu, CurlCpu, StatPeak, CurlPeak;
        auto Record = [&](const std::vector<std::string>& Run, std::vector<double>& Wall,
                          std::vector<double>& Cpu, std::vector<double>& Peak) {
            const TTimes T = TimeRun(Run, Null);
            Wall.push_back(T.Wall);
            Cpu.push_back(T.Cpu);
            Peak.push_back(T.Peak);
        };
        for (int I = 0; I < Rounds; ++I) {
            // Alternately, and which goes first alternates too.
            if (I % 2) {
                Record(CurlRun, CurlWall, CurlCpu, CurlPeak);
                Record(StatRun, StatWall, StatCpu, StatPeak);
            } else {
                Record(StatRun, StatWall, StatCpu, StatPeak);
                Record(CurlRun, CurlWall, CurlCpu, CurlPeak);
            }
        }
        close(Null);
        std::printf("components %s, rounds %d (medians; CPU: user + system of the process)\n",
                    Components.c_str(), Rounds);
        std::printf("WDXStat components --json  wall %.1f ms (min %.1f), CPU %.1f ms, peak %.1f MB\n",
                    Median(StatWall), *std::min_element(StatWall.begin(), StatWall.end()), Median(StatCpu),
                    Median(StatPeak));
        std::printf("curl -s /v1/components     wall %.1f ms (min %.1f), CPU %.1f ms, peak %.1f MB\n",
                    Median(CurlWall), *std::min_element(CurlWall.begin(), CurlWall.end()), Median(CurlCpu),
                    Median(CurlPeak));
        std::printf("ratio of medians: wall %.2f, CPU %.2f (goal: at most 2)\n",
                    Median(StatWall) / Median(CurlWall), Median(StatCpu) / Median(CurlCpu));
    } catch (const std::exception& E) {
        std::fprintf(stderr, "bench_stat_curl: %s\n", E.what());
        Status = 1;
    }
    kill(SimPid, SIGTERM);
    waitpid(SimPid, nullptr, 0);
    close(Pipe[0]);
    std::filesystem::remove_all(Dir);
    return Status;
}
