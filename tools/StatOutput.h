#pragma once
// What WDXStat's commands share: writing results and failures, the time of
// a sample, and the end of a watch by a signal.

#include "tools/StatTable.h"

#include <chrono>
#include <string>
#include <string_view>

namespace wdx::tools {

// Writes Text on standard output at once (a table of ten thousand rows is
// one write, not ten thousand). False when it could not be written (a full
// disk, a closed pipe): the first such failure is reported on standard error,
// later output is not tried, and OutputFailed tells the exit status.
bool Print(std::string_view Text);
bool OutputFailed();

// "WDXStat: Line" on standard error; returns ExitFailed.
int Fail(const std::string& Line);
// The same for bad arguments; returns ExitUsage.
int Usage(const std::string& Line);

bool OutputIsTerminal();
bool InputIsTerminal();

// A time as ISO 8601 in UTC with milliseconds ("2026-12-09T05:40:01.123Z"),
// and as people read it, in local time ("2026-12-09 06:40:01").
std::string IsoTime(std::chrono::system_clock::time_point At);
std::string LocalTime(std::chrono::system_clock::time_point At);

// SIGINT and SIGTERM end a watch after its current sample instead of the
// program in the middle of a line.
void CatchStopSignals();
bool StopRequested();
// Sleeps until Until or until a stop is requested; false when stopped.
bool SleepUntil(std::chrono::steady_clock::time_point Until);

} // namespace wdx::tools
