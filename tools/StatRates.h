#pragma once
// Requests per second for --watch: the difference of each row's request
// counter to the previous sample, over the time between the two samples.
//
// A row has no rate on the first sample, when it was not in the previous
// one, and when its counter went down (a clear or a retire started it again,
// or the broker was restarted): a rate is never negative and never guessed.

#include "tools/StatTable.h"

#include <chrono>
#include <map>
#include <string>
#include <utility>

namespace wdx::tools {

class TRateTracker {
public:
    using TClock = std::chrono::steady_clock;

    // Adds the column "Requests/s" (requestsPerSecond) to Table, whose column
    // 0 is the name and RequestsColumn the request counter, for a sample
    // taken At; then remembers this sample for the next one. Rows of the same
    // name are told apart by their order.
    void AddRates(TStatTable& Table, std::size_t RequestsColumn, TClock::time_point At);

private:
    std::map<std::pair<std::string, int>, std::int64_t> FPrevious;
    TClock::time_point FPreviousAt{};
    bool FHavePrevious = false;
};

inline const TColumn RateColumn{"Requests/s", "requestsPerSecond", true};

} // namespace wdx::tools
