#include "common/widgets/Accessibility.h"

#include "common/StdForm.h"

#include <QAccessibleObject>
#include <QAccessibleWidget>
#include <QApplication>
#include <QMenu>

namespace wdx::common {

namespace {

// The application with its open pop-up menus after its windows.
class TAccessibleApplication : public QAccessibleApplication {
public:
    int childCount() const override { return QAccessibleApplication::childCount() + int(Popups().size()); }
    QAccessibleInterface* child(int Index) const override {
        const int windows = QAccessibleApplication::childCount();
        if (Index < windows)
            return QAccessibleApplication::child(Index);
        const QList<QMenu*> popups = Popups();
        return Index - windows < popups.size()
                   ? QAccessible::queryAccessibleInterface(popups.at(Index - windows))
                   : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* Child) const override {
        const int i = QAccessibleApplication::indexOfChild(Child);
        if (i >= 0 || !Child)
            return i;
        const int at = int(Popups().indexOf(qobject_cast<QMenu*>(Child->object())));
        return at < 0 ? -1 : QAccessibleApplication::childCount() + at;
    }

private:
    static QList<QMenu*> Popups() {
        QList<QMenu*> out;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* menu = qobject_cast<QMenu*>(w); menu && menu->isVisible())
                out << menu;
        return out;
    }
};

QAccessibleInterface* Factory(const QString&, QObject* Object) {
    if (Object && Object == QCoreApplication::instance())
        return new TAccessibleApplication;
    if (auto* form = qobject_cast<TWDXStdForm*>(Object); form && !form->parentWidget())
        return new QAccessibleWidget(form, QAccessible::Window);
    return nullptr;
}

} // namespace

void InstallAccessibility() {
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(Factory);
}

} // namespace wdx::common
