#include "clntadmin/MainForm.h"
#include "clntadmin/Startup.h"
#include "common/Application.h"

#include "WdxVersion.h"

#include <QPointer>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    using namespace wdx;
    // "--version" alone answers without a display; any other arguments are
    // not read.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("%s %s\n", clntadmin::ProgramName, Version);
        return 0;
    }
    common::TWDXApplication app(argc, argv);
    clntadmin::InitApplication(app);
    // Arguments are not read. Closing the window frees it and ends the
    // message loop.
    QPointer<clntadmin::TForm1> form = new clntadmin::TForm1;
    form->show();
    int result = app.exec();
    delete form.data();
    return result;
}
