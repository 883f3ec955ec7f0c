#pragma once
// Scenarios of the simulated broker: read from a JSON file (format in
// docs/brokersim.md) or generated in bulk for benchmarks.

#include "brokersim/SimModel.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace wdx::brokersim {

// A scenario that cannot be read or is not valid; what() says where and why.
class EScenarioError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Largest scenario file read.
inline constexpr std::uintmax_t MaxScenarioBytes = 512u * 1024 * 1024;

// Reads and checks a scenario file. Throws EScenarioError.
TSimScenario LoadScenario(const std::string& Path);

// Checks the text of a scenario; Source names it in messages. Throws
// EScenarioError.
TSimScenario ParseScenario(std::string_view Text, const std::string& Source);

// Limits of the generator.
inline constexpr int MaxGeneratedComponents = 1000000;
inline constexpr int MaxGeneratedServices = 100;
inline constexpr int MaxGeneratedParams = 50;
// ... and of the totals, which bound the memory a generated broker takes.
inline constexpr int64_t MaxGeneratedServiceRows = 5000000;
inline constexpr int64_t MaxGeneratedParamRows = 10000000;

// Components "Component000001" ... with Services services each
// ("Component000001.Service01" ...) and Params parameters per service of
// every data type and mode in turn; figures drawn from Seed. Throws
// EScenarioError for counts or totals outside the limits above.
TSimScenario GenerateScenario(int Components, int Services, int Params, uint64_t Seed);

} // namespace wdx::brokersim
