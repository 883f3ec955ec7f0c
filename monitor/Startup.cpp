#include "Startup.h"

#include "common/widgets/MessageService.h"

namespace wdx::monitor {

QStringList CommandLineArguments(int Argc, char** Argv) {
    QStringList args;
    for (int i = 1; i < Argc; ++i)
        args << QString::fromLocal8Bit(Argv[i]);
    return args;
}

bool ReadCommandLine(const QStringList& Args, QWidget* Owner) {
    if (Args.isEmpty())
        return false;
    if (Args.size() == 1 && Args.first().compare(QLatin1String("-debug"), Qt::CaseInsensitive) == 0)
        return true;
    common::ShowMessage({Owner, QString::fromLatin1(UsageText), QString::fromLatin1(Program.Name),
                         common::TMsgIcon::Error, common::TMsgButtons::Ok});
    return false;
}

} // namespace wdx::monitor
