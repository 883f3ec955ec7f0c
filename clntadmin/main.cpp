#include "clntadmin/MainForm.h"
#include "clntadmin/Startup.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    using namespace wdx;
    // "--version" alone answers without a display; any other arguments are
    // not read.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("%s %s\n", clntadmin::Program.Name, Version);
        return 0;
    }
    common::TWDXApplication app(argc, argv);
    app.Start(clntadmin::Program);
    // Arguments are not read.
    return app.RunMainForm([] { return new clntadmin::TForm1; });
}
