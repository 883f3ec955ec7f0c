#pragma once
// Walks a window as a screen reader sees it (QAccessibleInterface, the tree
// AT-SPI serves) and lists every control that has no name, or the wrong
// role, so that a control added later without a name fails its test.

#include <QAccessible>
#include <QAccessibleInterface>
#include <QApplication>
#include <QWidget>

#include <string>
#include <vector>

namespace wdx::testsupport {

// Roles whose objects a user operates or reads, and that need a name.
inline bool IsControlRole(QAccessible::Role Role) {
    switch (Role) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::EditableText:
    case QAccessible::SpinBox:
    case QAccessible::List:
    case QAccessible::Table:
    case QAccessible::Tree:
    case QAccessible::PageTab:
    case QAccessible::PageTabList:
    case QAccessible::Grouping:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
    case QAccessible::MenuItem:
    case QAccessible::PopupMenu:
    case QAccessible::StaticText:
    case QAccessible::Graphic:
        return true;
    default:
        return false;
    }
}

inline std::string Describe(QAccessibleInterface* I) {
    QObject* o = I->object();
    return (o ? o->objectName().toStdString() + " (" + o->metaObject()->className() + ")"
              : std::string("?")) +
           " role " + std::to_string(int(I->role()));
}

// Every visible control below Root (Root included) without a name. Rows and
// cells of lists are their data, not controls, and are not walked.
inline void CollectUnnamed(QAccessibleInterface* I, std::vector<std::string>& Out, int Depth = 0) {
    if (!I || Depth > 40 || I->state().invisible)
        return;
    const QAccessible::Role role = I->role();
    if (IsControlRole(role) && I->text(QAccessible::Name).trimmed().isEmpty())
        Out.push_back(Describe(I));
    if (role == QAccessible::List || role == QAccessible::Table || role == QAccessible::Tree)
        return;
    for (int i = 0; i < I->childCount(); ++i)
        CollectUnnamed(I->child(i), Out, Depth + 1);
}

inline std::vector<std::string> UnnamedControls(QWidget* Window) {
    std::vector<std::string> out;
    CollectUnnamed(QAccessible::queryAccessibleInterface(Window), out);
    return out;
}

// The interfaces below Root, depth first, visible ones only.
inline void CollectAll(QAccessibleInterface* I, std::vector<QAccessibleInterface*>& Out, int Depth = 0) {
    if (!I || Depth > 40 || I->state().invisible)
        return;
    Out.push_back(I);
    const QAccessible::Role role = I->role();
    if (role == QAccessible::List || role == QAccessible::Table || role == QAccessible::Tree)
        return;
    for (int i = 0; i < I->childCount(); ++i)
        CollectAll(I->child(i), Out, Depth + 1);
}

inline QAccessibleInterface* Find(QWidget* Window, const QString& ObjectName) {
    std::vector<QAccessibleInterface*> all;
    CollectAll(QAccessible::queryAccessibleInterface(Window), all);
    for (QAccessibleInterface* i : all)
        if (i->object() && i->object()->objectName() == ObjectName)
            return i;
    return nullptr;
}

// The pop-up menus the application shows right now, as the accessibility
// root lists them (what AT-SPI serves as the application's children).
inline std::vector<QAccessibleInterface*> OpenPopupMenus() {
    std::vector<QAccessibleInterface*> out;
    QAccessibleInterface* app = QAccessible::queryAccessibleInterface(qApp);
    for (int i = 0; app && i < app->childCount(); ++i)
        if (QAccessibleInterface* c = app->child(i);
            c && c->role() == QAccessible::PopupMenu && !c->state().invisible)
            out.push_back(c);
    return out;
}

} // namespace wdx::testsupport
