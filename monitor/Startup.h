#pragma once
// Start-up of WDXMonitor: the application object and the command line.

#include "WdxVersion.h"
#include "common/Application.h"
#include "monitor/WDXMntrStdClasses.h"

#include <QStringList>

class QWidget;

namespace wdx::monitor {

inline constexpr common::TProgram Program{"Corvanta Component Broker Monitor", "WDXMonitor", &MonitorModule,
                                          wdx::MonitorDesktopName};
inline constexpr const char* UsageText = "Usage: WDXMonitor [-debug]";

// The arguments after the program name, as the operator gave them. Read
// before the application object exists, which takes its own options out.
QStringList CommandLineArguments(int Argc, char** Argv);

// True when Args is the single switch "-debug" in any case. No arguments
// gives false; anything else shows the usage box, owned by Owner, and gives
// false: the program runs on without debug mode.
bool ReadCommandLine(const QStringList& Args, QWidget* Owner);

} // namespace wdx::monitor
