// Time from process start to the main window shown (first paint, offscreen),
// for WDXMonitor and for a minimal Qt Widgets program with one table window,
// measured in the same run, alternating, and set side by side.
//
// Usage: bench_startup [rounds]   (default 30, after 3 warm-up rounds)
// The probes are the executables bench_startup_monitor and
// bench_startup_baseline beside this one.

#include "brokerstore/BrokerStore.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <numeric>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int ProbeTimeoutMs = 30000;

long long NowNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

// Runs Probe once; the milliseconds from spawning it to the time it printed,
// or nothing when it failed or overran its time.
std::optional<double> RunOnce(const std::string& Probe, char* const* Env) {
    int out[2];
    if (pipe(out) != 0)
        return std::nullopt;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    char* argv[] = {const_cast<char*>(Probe.c_str()), nullptr};
    pid_t pid = 0;
    long long start = NowNs();
    int rc = posix_spawn(&pid, Probe.c_str(), &actions, nullptr, argv, Env);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) {
        close(out[0]);
        std::fprintf(stderr, "cannot start %s: %s\n", Probe.c_str(), std::strerror(rc));
        return std::nullopt;
    }
    std::string text;
    bool timedOut = false;
    for (;;) {
        pollfd p{out[0], POLLIN, 0};
        int ready = poll(&p, 1, ProbeTimeoutMs);
        if (ready <= 0) {
            timedOut = ready == 0;
            if (ready < 0 && errno == EINTR)
                continue;
            break;
        }
        char buf[256];
        ssize_t n = read(out[0], buf, sizeof buf);
        if (n <= 0)
            break;
        text.append(buf, static_cast<size_t>(n));
    }
    close(out[0]);
    if (timedOut)
        kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    if (timedOut || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || text.empty()) {
        std::fprintf(stderr, "%s failed%s\n", Probe.c_str(), timedOut ? " (time-out)" : "");
        return std::nullopt;
    }
    return (std::atoll(text.c_str()) - start) / 1e6;
}

struct TStats {
    double Median, Mean, Min, Max;
};

TStats Summarise(std::vector<double> V) {
    std::sort(V.begin(), V.end());
    size_t n = V.size();
    double median = n % 2 ? V[n / 2] : (V[n / 2 - 1] + V[n / 2]) / 2;
    return {median, std::accumulate(V.begin(), V.end(), 0.0) / double(n), V.front(), V.back()};
}

// A store like an operator's: a handful of brokers in each scope.
bool FillStore(const fs::path& Dir) {
    setenv("WDX_USER_STORE", (Dir / "user.db").c_str(), 1);
    setenv("WDX_SYSTEM_STORE", (Dir / "system.db").c_str(), 1);
    using namespace wdx::brokerstore;
    for (auto scope : {scUser, scSystem})
        for (int i = 0; i < 10; ++i) {
            TBrokerDefinition def;
            def.Name = (scope == scUser ? "UserBroker" : "SystemBroker") + std::to_string(i);
            def.Scope = scope;
            def.HostName = "localhost";
            def.Port = std::to_string(7563 + i);
            def.TimeOut = "30";
            if (!WriteBrokerDefinition(def))
                return false;
        }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    const fs::path here = fs::canonical("/proc/self/exe").parent_path();
    const std::string monitor = (here / "bench_startup_monitor").string();
    const std::string baseline = (here / "bench_startup_baseline").string();

    char dirTemplate[] = "/tmp/wdx-bench-startup-XXXXXX";
    if (!mkdtemp(dirTemplate)) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path dir(dirTemplate);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    if (!FillStore(dir)) {
        std::fprintf(stderr, "cannot fill the store in %s\n", dir.c_str());
        fs::remove_all(dir);
        return 1;
    }

    std::vector<double> mon, base;
    bool ok = true;
    for (int i = -3; i < rounds && ok; ++i) {
        // Alternate which program goes first, so neither always finds the
        // caches the other just warmed.
        auto a = i % 2 ? RunOnce(monitor, environ) : RunOnce(baseline, environ);
        auto b = i % 2 ? RunOnce(baseline, environ) : RunOnce(monitor, environ);
        if (!a || !b) {
            ok = false;
            break;
        }
        if (i < 0)
            continue; // warm-up
        mon.push_back(i % 2 ? *a : *b);
        base.push_back(i % 2 ? *b : *a);
    }
    fs::remove_all(dir);
    if (!ok)
        return 1;

    TStats m = Summarise(mon), b = Summarise(base);
    std::printf("start to first paint, offscreen, %d rounds (ms)\n", rounds);
    std::printf("%-26s %8s %8s %8s %8s\n", "", "median", "mean", "min", "max");
    std::printf("%-26s %8.1f %8.1f %8.1f %8.1f\n", "WDXMonitor (20 brokers)", m.Median, m.Mean, m.Min, m.Max);
    std::printf("%-26s %8.1f %8.1f %8.1f %8.1f\n", "minimal Qt table window", b.Median, b.Mean, b.Min, b.Max);
    std::printf("ratio of medians: %.2f (goal: at most 1.30)\n", m.Median / b.Median);
    return 0;
}
