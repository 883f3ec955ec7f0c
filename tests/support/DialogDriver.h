#pragma once
// Drives a modal dialog of either program from inside its own event loop: Drive
// runs once the dialog of type T is the active modal window. A dialog that
// Drive leaves open is rejected and the test fails, so nothing waits
// forever; a dialog that never comes fails the test too.

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>

namespace wdx::testsupport {

template <class T> class TDialogDriver {
public:
    explicit TDialogDriver(std::function<void(T&)> Drive, bool MayStayOpen = false)
        : FDrive(std::move(Drive)), FMayStayOpen(MayStayOpen) {
        FTimer.setInterval(5);
        QObject::connect(&FTimer, &QTimer::timeout, [this] { Poll(); });
        FTimer.start();
    }
    ~TDialogDriver() {
        if (!FRan)
            ADD_FAILURE() << "the dialog was not shown";
    }
    TDialogDriver(const TDialogDriver&) = delete;
    TDialogDriver& operator=(const TDialogDriver&) = delete;

    bool Ran() const { return FRan; }
    // Whether the dialog was still open when Drive returned.
    bool LeftOpen() const { return FLeftOpen; }

private:
    void Poll() {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) {
            if (++FTicks > 1000)
                FTimer.stop();
            return;
        }
        FTimer.stop();
        FRan = true;
        QPointer<T> guard(dialog);
        FDrive(*dialog);
        if (guard && guard->isVisible()) {
            FLeftOpen = true;
            if (!FMayStayOpen)
                ADD_FAILURE() << "the dialog was left open";
            guard->reject();
        }
    }
    std::function<void(T&)> FDrive;
    bool FMayStayOpen;
    QTimer FTimer;
    bool FRan = false;
    bool FLeftOpen = false;
    int FTicks = 0;
};

} // namespace wdx::testsupport
