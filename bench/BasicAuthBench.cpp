// How long the exporter takes to answer a basic-auth check: the right
// password, a wrong one, and a user that does not exist, at the bcrypt cost
// operators use (10). A refusal must take no less time than an acceptance,
// else the time would tell which users exist. Google Benchmark.

#include "exporter/WebConfig.h"

#include <benchmark/benchmark.h>
#include <crypt.h>

#include <map>
#include <string>

namespace {

const wdx::exporter::TBasicAuth& Auth() {
    static const wdx::exporter::TBasicAuth A = [] {
        char Salt[CRYPT_GENSALT_OUTPUT_SIZE];
        crypt_gensalt_rn("$2y$", 10, nullptr, 0, Salt, sizeof Salt);
        crypt_data Data{};
        return wdx::exporter::TBasicAuth(
            std::map<std::string, std::string>{{"prometheus", crypt_r("right", Salt, &Data)}});
    }();
    return A;
}

void Check(benchmark::State& State, const char* User, const char* Password, bool Expected) {
    for (auto _ : State)
        if (Auth().Check(User, Password) != Expected)
            State.SkipWithError("unexpected answer");
}

BENCHMARK_CAPTURE(Check, RightPassword, "prometheus", "right", true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Check, WrongPassword, "prometheus", "wrong", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Check, UnknownUser, "nobody", "right", false)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
