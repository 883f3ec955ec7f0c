// What the "&Details..." items of the two lists open.
//
// The details dialogs are not part of this version yet; until they are, the
// items say so in a box instead of doing nothing.
//
// For the dialogs: hand them Connection.Link(), never the connection itself.
// The window stays the connection's only owner, and a refresh that fails
// while a dialog is open (an automatic one, or the refill the component
// dialog asks for after an action) resets the window and ends the
// connection; the link is empty from then on, and ConnectionEnded tells the
// dialog at once.

#include "MainForm.h"

#include "common/MessageService.h"

namespace wdx::monitor {

void TForm1::OpenComponentDetails() {
    common::ShowMessage(
        {this, QStringLiteral("The component details are not available in this version of the monitor."),
         windowTitle(), common::TMsgIcon::Information, common::TMsgButtons::Ok});
}

void TForm1::OpenParamDetails() {
    common::ShowMessage(
        {this, QStringLiteral("The parameter details are not available in this version of the monitor."),
         windowTitle(), common::TMsgIcon::Information, common::TMsgButtons::Ok});
}

} // namespace wdx::monitor
