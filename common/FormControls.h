#pragma once
// Small builders for a window's stored definition: each control carries its
// name as object name (tests and assistive technology find it by that), and
// its placeholder text until the window sets the real one.

#include <QFrame>
#include <QLabel>
#include <QRect>
#include <QString>

namespace wdx::common {

template <class T> T* Named(T* Widget, const char* Name) {
    Widget->setObjectName(QLatin1String(Name));
    return Widget;
}

// A label whose placeholder text is its name.
inline QLabel* NamedLabel(QWidget* Parent, const char* Name) {
    return Named(new QLabel(QLatin1String(Name), Parent), Name);
}

// The same, placed at Left, Top.
inline QLabel* NamedLabel(QWidget* Parent, const char* Name, int Left, int Top) {
    QLabel* l = NamedLabel(Parent, Name);
    l->move(Left, Top);
    return l;
}

// A sunken horizontal rule.
inline QFrame* NamedBevel(QWidget* Parent, const char* Name) {
    auto* f = Named(new QFrame(Parent), Name);
    f->setFrameShape(QFrame::HLine);
    f->setFrameShadow(QFrame::Sunken);
    return f;
}

} // namespace wdx::common
