#pragma once
// The application's side of help, as the windows and the help router use it:
// one application-wide help handler slot, the application's own help file, the
// help command that sends a request through the handler, the help file and
// help context of each window, and the keys and clicks that ask for help.

#include <QString>

#include <cstdint>
#include <functional>

class QObject;
class QWidget;

namespace wdx::common {

// A help request handler: Command is a WinHelp command number, Data its
// argument (pointer-sized, so that a keyword request can carry its text).
// CallHelp is true on entry; a handler that serves the request sets it to
// false. The result is the success of the help call.
using THelpEvent = std::function<bool(std::uint16_t Command, std::intptr_t Data, bool& CallHelp)>;

// The application-wide handler slot (read and replace).
const THelpEvent& ApplicationOnHelp();
void SetApplicationOnHelp(THelpEvent Handler);

// The application's own help file; empty by default.
QString ApplicationHelpFile();
void SetApplicationHelpFile(const QString& FileName);

// Sends Command and Data through the installed handler and returns its
// result. A request that no handler serves (none installed, or CallHelp left
// true) fails: there is no help processing of the toolkit's own to fall back on.
bool ApplicationHelpCommand(std::uint16_t Command, std::intptr_t Data);
// HELP_CONTEXT with Context.
bool ApplicationHelpContext(int Context);

// Whether the application object exists (the owner of application-wide help).
bool ApplicationWindowExists();

// The active window when it is one of the program's forms, else none.
QWidget* ApplicationActiveForm();

// A window's help file and help context (both empty/0 until set), and a
// control's help context. They are kept on the widget itself.
QString FormHelpFile(const QWidget* Form);
void SetFormHelpFile(QWidget* Form, const QString& FileName);
int HelpContextOf(const QWidget* Control);
void SetHelpContext(QWidget* Control, int Context);

// The help context that applies to Control: its own, else that of the nearest
// parent within its window that has one, else 0.
int EffectiveHelpContext(const QWidget* Control);

// Makes F1 and the title bar's context-help button ask for help through the
// application's help command: F1 opens the topic of the focused control's
// help context (HELP_CONTEXT); in a window with a context-help button, F1 and
// a click in context-help mode show the control's pop-up instead
// (HELP_SETPOPUP_POS, then HELP_CONTEXTPOPUP). Installed once per application;
// calling it again does nothing.
void InstallHelpKeys();

} // namespace wdx::common
