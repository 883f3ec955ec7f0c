#pragma once
// Shared by both start-up probes: once the first top-level window has been
// painted, print the monotonic clock in nanoseconds and end the program.

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <ctime>

class TFirstPaint : public QObject {
public:
    bool eventFilter(QObject* Watched, QEvent* Event) override {
        if (!FSeen && Event->type() == QEvent::Paint) {
            auto* w = qobject_cast<QWidget*>(Watched);
            if (w && w->isWindow()) {
                FSeen = true;
                // Runs once the whole paint pass (children and flush) is done.
                QTimer::singleShot(0, [] {
                    timespec now{};
                    clock_gettime(CLOCK_MONOTONIC, &now);
                    std::printf("%lld\n", static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
                    std::fflush(stdout);
                    QCoreApplication::exit(0);
                });
            }
        }
        return false;
    }

private:
    bool FSeen = false;
};
