#include "common/Application.h"

#include "common/widgets/Accessibility.h"
#include "common/widgets/MessageService.h"

#include <QStyle>
#include <QStyleFactory>
#include <exception>

namespace wdx::common {

TWDXApplication::TWDXApplication(int& Argc, char** Argv) : QApplication(Argc, Argv) {
    if (QStyle* classic = QStyleFactory::create(QStringLiteral("Windows")))
        setStyle(classic);
    InstallAccessibility();
}

TWDXApplication* TWDXApplication::Instance() {
    return qobject_cast<TWDXApplication*>(QCoreApplication::instance());
}

bool TWDXApplication::notify(QObject* Receiver, QEvent* Event) {
    try {
        return QApplication::notify(Receiver, Event);
    } catch (const std::exception& e) {
        ShowException(QString::fromUtf8(e.what()));
    } catch (...) {
        ShowException(QStringLiteral("Unknown exception."));
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
