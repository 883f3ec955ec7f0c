// The yardstick: a minimal Qt Widgets program that shows one window of the
// monitor's size holding a table, ending at its first paint.
#include "FirstPaint.h"

#include <QApplication>
#include <QTableWidget>
#include <QVBoxLayout>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    TFirstPaint probe;
    app.installEventFilter(&probe);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Table"));
    window.resize(525, 502);
    auto* table = new QTableWidget(5, 7, &window);
    (new QVBoxLayout(&window))->addWidget(table);
    window.show();
    return app.exec();
}
