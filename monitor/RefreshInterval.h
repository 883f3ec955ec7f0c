#pragma once
// The range of the automatic refresh interval, in seconds: the monitor
// window takes no other, and WDXStat's --watch takes the same.

namespace wdx::monitor {

inline constexpr int MinRefreshSeconds = 1;
inline constexpr int MaxRefreshSeconds = 3600;

} // namespace wdx::monitor
