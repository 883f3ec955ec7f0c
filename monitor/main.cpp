#include "common/Application.h"
#include "monitor/MainForm.h"
#include "monitor/Startup.h"
#include "statshost/StandIns.h"

#include <QPointer>

int main(int argc, char** argv) {
    using namespace wdx;
    const QStringList args = monitor::CommandLineArguments(argc, argv);
    common::TWDXApplication app(argc, argv);
    statshost::RegisterStandIns();
    monitor::InitApplication(app);
    // Creating the window shows it and reads the command line; closing it
    // frees it and ends the message loop.
    QPointer<monitor::TForm1> form = new monitor::TForm1(args);
    int result = app.exec();
    delete form.data();
    return result;
}
