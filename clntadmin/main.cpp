#include "clntadmin/MainForm.h"
#include "clntadmin/Startup.h"
#include "common/Application.h"

#include <QPointer>

int main(int argc, char** argv) {
    using namespace wdx;
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
