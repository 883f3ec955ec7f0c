#include "common/widgets/Accessibility.h"

#include "common/StdForm.h"
#include "common/widgets/FigureLabel.h"

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

// A figure is named by the text it shows, even when that is empty.
class TAccessibleFigure : public QAccessibleWidget {
public:
    explicit TAccessibleFigure(TFigureLabel* Label) : QAccessibleWidget(Label, QAccessible::StaticText) {}
    QString text(QAccessible::Text Kind) const override {
        if (Kind == QAccessible::Name && widget()->accessibleName().isEmpty())
            return static_cast<const QLabel*>(widget())->text();
        return QAccessibleWidget::text(Kind);
    }
};

QAccessibleInterface* Factory(const QString&, QObject* Object) {
    if (Object && Object == QCoreApplication::instance())
        return new TAccessibleApplication;
    if (auto* form = qobject_cast<TWDXStdForm*>(Object); form && !form->parentWidget())
        return new QAccessibleWidget(form, QAccessible::Window);
    if (auto* figure = qobject_cast<TFigureLabel*>(Object))
        return new TAccessibleFigure(figure);
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
