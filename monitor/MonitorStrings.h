#pragma once
#include "common/ResText.h"

namespace wdx::monitor {
// The string table of WDXMonitor: every caption, label and message it shows.
const wdx::common::TStringTable& MonitorStrings();
} // namespace wdx::monitor
