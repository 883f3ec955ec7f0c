#include "Startup.h"

#include "clntadmin/WDXClntStdClasses.h"
#include "common/Application.h"

namespace wdx::clntadmin {

void InitApplication(common::TWDXApplication& App) {
    App.SetTitle(QString::fromLatin1(ProgramTitle));
    App.setApplicationName(QString::fromLatin1(ProgramName));
    App.setFont(common::TWDXStdForm::StdFont());
    App.setWindowIcon(common::LoadProgramIcon(ClntAdminModule(), QStringLiteral("MAINICON")));
}

} // namespace wdx::clntadmin
