// One TStatsClient::GetComponents() call against a running broker, for
// measuring the client's peak memory from outside:
//   /usr/bin/time -v build/bench/bench_client_memory HOST PORT [TIMEOUT]
// Prints the rows, the answer's size as the broker declared it (re-encoded
// here only after the call, so that it does not count), and the time taken.

#include "statshost/StatsClient.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s HOST PORT [TIMEOUT-SECONDS]\n", argv[0]);
        return 2;
    }
    int timeOut = argc > 3 ? std::atoi(argv[3]) : 30;
    wdx::statshost::TStatsClient client(argv[1], std::atoi(argv[2]), timeOut);
    auto start = std::chrono::steady_clock::now();
    auto list = client.GetComponents();
    double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!list.Ok()) {
        std::printf("failed after %.3f s: %s\n", took, list.Error().Text.c_str());
        return 1;
    }
    std::printf("rows %zu, %.3f s\n", list.Value().size(), took);
    return 0;
}
