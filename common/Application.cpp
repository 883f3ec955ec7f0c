#include "common/Application.h"

#include "WdxVersion.h"
#include "common/DefaultReport.h"
#include "common/ResModule.h"
#include "common/StdForm.h"
#include "common/help/HelpApplication.h"
#include "common/widgets/Accessibility.h"
#include "common/widgets/MessageService.h"

#include <QPointer>
#include <QStyle>
#include <QStyleFactory>
#include <exception>

namespace wdx::common {

TWDXApplication::TWDXApplication(int& Argc, char** Argv) : QApplication(Argc, Argv) {
    if (QStyle* classic = QStyleFactory::create(QStringLiteral("Windows")))
        setStyle(classic);
    InstallAccessibility();
}

void TWDXApplication::Start(const TProgram& Program) {
    SetTitle(QString::fromLatin1(Program.Title));
    setApplicationName(QString::fromLatin1(Program.Name));
    setApplicationVersion(QString::fromLatin1(wdx::Version));
    setDesktopFileName(QString::fromLatin1(Program.DesktopName));
    setFont(TWDXStdForm::StdFont());
    setWindowIcon(LoadProgramIcon(Program.Module(), QStringLiteral("MAINICON")));
    SetApplicationHelpFile({});
}

int TWDXApplication::RunMainForm(const std::function<QWidget*()>& Create) {
    // A main window frees itself when it closes; one still open when the
    // loop ends otherwise is freed here.
    QPointer<QWidget> form = Create();
    form->show();
    const int result = exec();
    delete form.data();
    return result;
}

TWDXApplication* TWDXApplication::Instance() {
    return qobject_cast<TWDXApplication*>(QCoreApplication::instance());
}

bool TWDXApplication::notify(QObject* Receiver, QEvent* Event) {
    try {
        return QApplication::notify(Receiver, Event);
    } catch (...) {
        ReportFailure(std::current_exception());
    }
    // The handler did not finish; the event counts as not handled.
    return false;
}

void TWDXApplication::ShowException(const QString& Message) {
    QWidget* owner = activeModalWidget();
    if (!owner)
        owner = activeWindow();
    ShowMessage(
        {owner, Message, FTitle.isEmpty() ? applicationName() : FTitle, TMsgIcon::Error, TMsgButtons::Ok});
}

} // namespace wdx::common
