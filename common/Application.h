#pragma once
// The application object of both programs. Besides the title, it is the
// default error report: an exception that escapes any event handler is shown
// in an error box with the exception's message, and the program runs on.

#include <QApplication>
#include <QString>

#include <functional>

namespace wdx::common {

struct TResModule;

// What tells one program from the other at start-up.
struct TProgram {
    const char* Title;             // the application title
    const char* Name;              // the program's name, as on its command line
    const TResModule& (*Module)(); // its string table and icons
    const char* DesktopName;       // its desktop entry's name (the Wayland app id)
};

class TWDXApplication : public QApplication {
    Q_OBJECT
public:
    TWDXApplication(int& Argc, char** Argv);

    // Title, name, version, desktop name, standard font and program icon ("MAINICON") of Program.
    // Help goes through the main window's own help file and the help router,
    // so the application has no help file of its own.
    void Start(const TProgram& Program);

    // Creates the main window, shows it (if creating did not already) and
    // runs the message loop until it closes, which ends the program; the
    // window is freed either way.
    int RunMainForm(const std::function<QWidget*()>& Create);

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
