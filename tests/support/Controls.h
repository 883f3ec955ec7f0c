#pragma once
// Finds a window's control by the object name its window definition gives
// it, as an operator finds it by its place: tests never reach into a window's
// members. A control that is not there fails the test.
//
//   Find<QPushButton>(Form, "OKBtn")->click();
//
// Window is the window itself, a pointer to it, or anything that points to
// it (QPointer, a guard with operator->).

#include <QObject>
#include <QString>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <type_traits>

namespace wdx::testsupport {

class EMissingControl : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

template <class W> const QObject* ObjectOf(const W& Window) {
    if constexpr (std::is_pointer_v<W>)
        return Window;
    else if constexpr (std::is_base_of_v<QObject, W>)
        return &Window;
    else
        return Window.operator->();
}

template <class T, class W> T* Find(const W& Window, const char* Name) {
    const QObject* window = ObjectOf(Window);
    T* control = window ? window->template findChild<T*>(QString::fromLatin1(Name)) : nullptr;
    if (!control) {
        ADD_FAILURE() << "the window has no control " << Name << " of the kind asked for";
        throw EMissingControl(std::string("no control ") + Name);
    }
    return control;
}

} // namespace wdx::testsupport
