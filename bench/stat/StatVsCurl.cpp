// WDXStat as a whole process beside curl: `WDXStat components BROKER --json`
// against `curl -s` of the same component list, alternately, against one
// WDXBrokerSim serving N generated components on loopback. Prints the
// medians, their ratios, and WDXStat's peak memory beside the answer's size.
// With a second WDXStat (an earlier build), that one runs in the same
// rotation, so that before and after meet the same load.
//
//   bench_stat_curl WDXStat WDXBrokerSim [components=10000] [rounds=30]
//                   [time-out=30] [earlier WDXStat]
//
// The time-out is the broker definition's, in seconds. The store is a
// temporary one (WDX_USER_STORE / WDX_SYSTEM_STORE), the simulator is stopped
// at the end, output goes to /dev/null.

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
    double Peak = 0; // MB (10^6 bytes), the process's peak resident memory
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
    T.Peak = double(Usage.ru_maxrss) * 1024.0 / 1e6; // KiB
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
        std::fprintf(stderr,
                     "usage: %s WDXStat WDXBrokerSim [components] [rounds] [time-out] [earlier WDXStat]\n",
                     argv[0]);
        return 2;
    }
    const std::string Stat = argv[1], Sim = argv[2];
    const std::string Components = argc > 3 ? argv[3] : "10000";
    const int Rounds = argc > 4 ? std::atoi(argv[4]) : 30;
    const std::string TimeOut = argc > 5 ? argv[5] : "30";
    const std::string Earlier = argc > 6 ? argv[6] : "";

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
        D.TimeOut = TimeOut;
        if (!wdx::brokerstore::WriteBrokerDefinition(D))
            throw std::runtime_error("cannot define the broker");

        const int Null = open("/dev/null", O_WRONLY);
        const std::string Url = "http://127.0.0.1:" + Port + "/v1/components";
        const std::string AnswerFile = std::string(Dir) + "/answer.json";
        TimeRun({"curl", "-s", "-f", "-o", AnswerFile, Url}, Null);
        const double AnswerMB = double(std::filesystem::file_size(AnswerFile)) / 1e6;

        struct TSide {
            std::string Label;
            std::vector<std::string> Run;
            std::vector<double> Wall, Cpu, Peak;
        };
        std::vector<TSide> Sides{
            {"WDXStat components --json", {Stat, "components", "Bench", "--json"}, {}, {}, {}},
            {"curl -s /v1/components", {"curl", "-s", "-f", Url}, {}, {}, {}}};
        if (!Earlier.empty())
            Sides.push_back(
                {"earlier WDXStat, the same", {Earlier, "components", "Bench", "--json"}, {}, {}, {}});
        for (int I = 0; I < 3; ++I) // warm-up: caches, the simulator's first answers
            for (const TSide& S : Sides)
                TimeRun(S.Run, Null);
        for (int I = 0; I < Rounds; ++I) {
            // In turn, and which goes first rotates too.
            for (std::size_t K = 0; K < Sides.size(); ++K) {
                TSide& S = Sides[(K + static_cast<std::size_t>(I)) % Sides.size()];
                const TTimes T = TimeRun(S.Run, Null);
                S.Wall.push_back(T.Wall);
                S.Cpu.push_back(T.Cpu);
                S.Peak.push_back(T.Peak);
            }
        }
        close(Null);
        double Load[3] = {0, 0, 0};
        getloadavg(Load, 3);
        std::printf("components %s (answer %.2f MB), rounds %d, time-out %s s, load average %.1f "
                    "(medians; CPU: user + system of the process; MB: 10^6 bytes)\n",
                    Components.c_str(), AnswerMB, Rounds, TimeOut.c_str(), Load[0]);
        for (const TSide& S : Sides)
            std::printf(
                "%-27s wall %.1f ms (min %.1f, max %.1f), CPU %.1f ms, peak %.1f MB (%.2f x answer)\n",
                S.Label.c_str(), Median(S.Wall), *std::min_element(S.Wall.begin(), S.Wall.end()),
                *std::max_element(S.Wall.begin(), S.Wall.end()), Median(S.Cpu), Median(S.Peak),
                Median(S.Peak) / AnswerMB);
        const TSide &Ours = Sides[0], &Curl = Sides[1];
        std::printf("WDXStat / curl, ratio of medians: wall %.2f, CPU %.2f\n",
                    Median(Ours.Wall) / Median(Curl.Wall), Median(Ours.Cpu) / Median(Curl.Cpu));
        if (Sides.size() > 2)
            std::printf("earlier WDXStat / curl:           wall %.2f, CPU %.2f\n",
                        Median(Sides[2].Wall) / Median(Curl.Wall), Median(Sides[2].Cpu) / Median(Curl.Cpu));
    } catch (const std::exception& E) {
        std::fprintf(stderr, "bench_stat_curl: %s\n", E.what());
        Status = 1;
    }
    std::fflush(stdout); // before the simulator's own last line
    kill(SimPid, SIGTERM);
    waitpid(SimPid, nullptr, 0);
    close(Pipe[0]);
    std::filesystem::remove_all(Dir);
    return Status;
}
