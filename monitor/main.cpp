#include "monitor/MainForm.h"
#include "monitor/Startup.h"
#include "monitorapi/ComFactory.h"
#include "statshost/StandIns.h"

int main(int argc, char** argv) {
    using namespace wdx;
    // COM for the program's one thread, released after every reference.
    const monitor::TComApartment com;
    const QStringList args = monitor::CommandLineArguments(argc, argv);
    common::TWDXApplication app(argc, argv);
#ifndef _WIN32
    // On Windows COM activates them by their registration (WDXStatsHost.dll
    // where the outside components are not installed).
    statshost::RegisterStandIns();
#endif
    app.Start(monitor::Program);
    // Creating the window shows it and reads the command line.
    return app.RunMainForm([&args] { return new monitor::TForm1(args); });
}
