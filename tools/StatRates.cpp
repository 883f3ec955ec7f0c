#include "tools/StatRates.h"

namespace wdx::tools {

void TRateTracker::AddRates(TStatTable& Table, std::size_t RequestsColumn, TClock::time_point At) {
    const double Seconds = std::chrono::duration<double>(At - FPreviousAt).count();
    std::map<std::pair<std::string, int>, std::int64_t> Current;
    std::map<std::string, int> Seen;
    Table.Columns.push_back(RateColumn);
    for (auto& Row : Table.Rows) {
        TCell Rate;
        const auto* Name = std::get_if<std::string>(&Row.front());
        const auto* Requests = std::get_if<std::int64_t>(&Row[RequestsColumn]);
        if (Name && Requests) {
            const auto Key = std::make_pair(*Name, Seen[*Name]++);
            Current[Key] = *Requests;
            if (auto Old = FPrevious.find(Key);
                FHavePrevious && Seconds > 0 && Old != FPrevious.end() && *Requests >= Old->second)
                Rate = static_cast<double>(*Requests - Old->second) / Seconds;
        }
        Row.push_back(std::move(Rate));
    }
    FPrevious = std::move(Current);
    FPreviousAt = At;
    FHavePrevious = true;
}

} // namespace wdx::tools
