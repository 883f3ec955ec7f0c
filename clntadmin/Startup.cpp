#include "Startup.h"

#include "WdxVersion.h"
#include "clntadmin/WDXClntStdClasses.h"
#include "common/Application.h"
#include "common/help/HelpApplication.h"

namespace wdx::clntadmin {

void InitApplication(common::TWDXApplication& App) {
    App.SetTitle(QString::fromLatin1(ProgramTitle));
    App.setApplicationName(QString::fromLatin1(ProgramName));
    App.setApplicationVersion(QString::fromLatin1(wdx::Version));
    App.setDesktopFileName(QString::fromLatin1(wdx::AdminDesktopName));
    App.setFont(common::TWDXStdForm::StdFont());
    App.setWindowIcon(common::LoadProgramIcon(ClntAdminModule(), QStringLiteral("MAINICON")));
    // Help goes through the main window's own help file and the help router.
    common::SetApplicationHelpFile({});
}

} // namespace wdx::clntadmin
