// WDXMonitor's own start-up (as in monitor/main.cpp), ending at the first
// paint of its main window.
#include "FirstPaint.h"

#include "common/Application.h"
#include "monitor/MainForm.h"
#include "monitor/Startup.h"

#include <QPointer>

int main(int argc, char** argv) {
    using namespace wdx;
    const QStringList args = monitor::CommandLineArguments(argc, argv);
    common::TWDXApplication app(argc, argv);
    TFirstPaint probe;
    app.installEventFilter(&probe);
    app.Start(monitor::Program);
    QPointer<monitor::TForm1> form = new monitor::TForm1(args);
    int result = app.exec();
    delete form.data();
    return result;
}
