#pragma once
// The application object of both programs. Besides the title, it is the
// default error report: an exception that escapes any event handler is shown
// in an error box with the exception's message, and the program runs on.

#include <QApplication>
#include <QString>

namespace wdx::common {

class TWDXApplication : public QApplication {
    Q_OBJECT
public:
    TWDXApplication(int& Argc, char** Argv);

    // The title of the program, the caption of the default error report.
    const QString& Title() const { return FTitle; }
    void SetTitle(const QString& Title) { FTitle = Title; }

    bool notify(QObject* Receiver, QEvent* Event) override;

    // Shows Message the way an escaped exception is shown.
    void ShowException(const QString& Message);

    // The running application object as a TWDXApplication, or null.
    static TWDXApplication* Instance();

private:
    QString FTitle;
};

} // namespace wdx::common
