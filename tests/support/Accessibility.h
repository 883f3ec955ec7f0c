#pragma once
// Walks a window as a screen reader sees it (QAccessibleInterface, the tree
// AT-SPI serves) and lists every control that has no name, or the wrong
// role, so that a control added later without a name fails its test. Also:
// what a figure beside its caption reads as, and the events the bus is told.

#include <QAccessible>
#include <QAccessibleInterface>
#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QPointer>
#include <QWidget>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

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

// The objects that I's relations of the kind Relation lead to; with
// QAccessible::Label, the captions that label I (AT-SPI's "labelled by").
inline std::vector<QObject*> Related(QAccessibleInterface* I, QAccessible::Relation Relation) {
    std::vector<QObject*> out;
    if (!I)
        return out;
    for (const auto& [other, kind] : I->relations(Relation))
        if (other && kind == Relation)
            out.push_back(other->object());
    return out;
}

inline bool Contains(const std::vector<QObject*>& Objects, const QObject* Object) {
    return std::find(Objects.begin(), Objects.end(), Object) != Objects.end();
}

// What is wrong with a figure as a screen reader reads it: Value must be
// named by the text it shows and labelled by Caption, Caption must say it
// labels Value, and keep its own text as its name. Empty when all is well.
inline std::vector<std::string> FigureFaults(QLabel* Caption, QLabel* Value) {
    std::vector<std::string> out;
    if (!Caption || !Value)
        return {"no such label"};
    const std::string which = Value->objectName().toStdString() + ": ";
    QAccessibleInterface* value = QAccessible::queryAccessibleInterface(Value);
    QAccessibleInterface* caption = QAccessible::queryAccessibleInterface(Caption);
    if (value->text(QAccessible::Name) != Value->text())
        out.push_back(which + "named \"" + value->text(QAccessible::Name).toStdString() + "\", shows \"" +
                      Value->text().toStdString() + "\"");
    if (!Contains(Related(value, QAccessible::Label), Caption))
        out.push_back(which + "not labelled by " + Caption->objectName().toStdString());
    if (!Contains(Related(caption, QAccessible::Labelled), Value))
        out.push_back(which + Caption->objectName().toStdString() + " does not label it");
    if (caption->text(QAccessible::Name) != QString(Caption->text()).remove(u'&') ||
        Caption->text().isEmpty())
        out.push_back(which + "its caption is named \"" + caption->text(QAccessible::Name).toStdString() +
                      "\", shows \"" + Caption->text().toStdString() + "\"");
    return out;
}

// FigureFaults of every (caption, value) pair found by object name in Window.
inline std::vector<std::string> FigureFaults(QWidget* Window,
                                             const std::vector<std::pair<const char*, const char*>>& Pairs) {
    std::vector<std::string> out;
    for (auto [caption, value] : Pairs) {
        const auto faults = FigureFaults(Window->findChild<QLabel*>(QLatin1String(caption)),
                                         Window->findChild<QLabel*>(QLatin1String(value)));
        out.insert(out.end(), faults.begin(), faults.end());
    }
    return out;
}

// Whether the accessibility bus is told of changes at all: only while Qt's
// AT-SPI bridge is active, never offscreen. Under scripts/with-a11y-bus.sh
// (WDX_A11Y_BUS set) waits for the bridge, 10 s at most, and fails the test
// when it does not come.
inline bool BusIsTold() {
    if (qEnvironmentVariableIsEmpty("WDX_A11Y_BUS"))
        return QAccessible::isActive();
    const QDeadlineTimer deadline(10000);
    while (!QAccessible::isActive() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_TRUE(QAccessible::isActive()) << "the accessibility bridge did not start";
    return QAccessible::isActive();
}

// Records the accessibility events the application sends while it lives,
// in place of the bus they would otherwise go to (see BusIsTold).
class TAccessibleEventSpy {
public:
    TAccessibleEventSpy() : FPrevious(QAccessible::installUpdateHandler(&Record)) { Current() = this; }
    ~TAccessibleEventSpy() {
        Current() = nullptr;
        QAccessible::installUpdateHandler(FPrevious);
    }
    TAccessibleEventSpy(const TAccessibleEventSpy&) = delete;
    TAccessibleEventSpy& operator=(const TAccessibleEventSpy&) = delete;

    int Count(const QObject* Object, QAccessible::Event Type) const {
        int n = 0;
        for (const auto& [object, type] : FEvents)
            n += object.data() == Object && type == Type;
        return n;
    }
    void Clear() { FEvents.clear(); }

private:
    static TAccessibleEventSpy*& Current() {
        static TAccessibleEventSpy* current = nullptr;
        return current;
    }
    static void Record(QAccessibleEvent* Event) {
        if (TAccessibleEventSpy* spy = Current())
            spy->FEvents.emplace_back(Event->object(), Event->type());
    }
    QAccessible::UpdateHandler FPrevious;
    std::vector<std::pair<QPointer<QObject>, QAccessible::Event>> FEvents;
};

} // namespace wdx::testsupport
