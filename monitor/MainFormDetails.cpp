// What the "&Details..." items of the two lists open.
//
// The dialogs get Connection.Link(), never the connection itself. The window
// stays the connection's only owner, and a refresh that fails while a dialog
// is open (an automatic one, or the refill the component dialog asks for
// after an action) resets the window and ends the connection; the link is
// empty from then on, and ConnectionEnded tells the dialog at once.

#include "MainForm.h"

#include "monitor/ComponentDetailsForm.h"
#include "monitor/ParamDetailsForm.h"

#include <memory>

namespace wdx::monitor {

void TForm1::OpenComponentDetails() {
    auto dialog = std::make_unique<TForm2>(this);
    dialog->SetMainWindow(this);
    dialog->SetMonitor(Connection.Link());
    dialog->SetBrokerName(BrokerName);
    dialog->SetComponentName(CurrentComponent.toStdString());
    dialog->exec();
}

void TForm1::OpenParamDetails() {
    auto dialog = std::make_unique<TForm3>(this);
    dialog->SetMonitor(Connection.Link());
    dialog->SetServiceName(CurrentService.toStdString());
    dialog->exec();
}

} // namespace wdx::monitor
