#include "Startup.h"

#include "WdxVersion.h"
#include "common/Application.h"
#include "common/widgets/MessageService.h"
#include "monitor/WDXMntrStdClasses.h"

namespace wdx::monitor {

QStringList CommandLineArguments(int Argc, char** Argv) {
    QStringList args;
    for (int i = 1; i < Argc; ++i)
        args << QString::fromLocal8Bit(Argv[i]);
    return args;
}

void InitApplication(common::TWDXApplication& App) {
    App.SetTitle(QString::fromLatin1(ProgramTitle));
    App.setApplicationName(QString::fromLatin1(ProgramName));
    App.setApplicationVersion(QString::fromLatin1(wdx::Version));
    App.setDesktopFileName(QString::fromLatin1(wdx::MonitorDesktopName));
    App.setFont(common::TWDXStdForm::StdFont());
    App.setWindowIcon(common::LoadProgramIcon(MonitorModule(), QStringLiteral("MAINICON")));
}

bool ReadCommandLine(const QStringList& Args, QWidget* Owner) {
    if (Args.isEmpty())
        return false;
    if (Args.size() == 1 && Args.first().compare(QLatin1String("-debug"), Qt::CaseInsensitive) == 0)
        return true;
    common::ShowMessage({Owner, QString::fromLatin1(UsageText), QString::fromLatin1(ProgramName),
                         common::TMsgIcon::Error, common::TMsgButtons::Ok});
    return false;
}

} // namespace wdx::monitor
