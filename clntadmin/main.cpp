#include "clntadmin/MainForm.h"
#include "clntadmin/Startup.h"

int main(int argc, char** argv) {
    using namespace wdx;
    common::TWDXApplication app(argc, argv);
    app.Start(clntadmin::Program);
    // Arguments are not read.
    return app.RunMainForm([] { return new clntadmin::TForm1; });
}
