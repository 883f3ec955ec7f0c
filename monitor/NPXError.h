#pragma once
// The error box every monitor window shows for a failure of the connection.

#include "monitor/NPXMonitor.h"

class QWidget;

namespace wdx::common {
class TWDXStdForm;
}

namespace wdx::monitor {

// Shows E in a modal error box owned by Owner: NPXErrorText of E with Form's
// string table, titled E.Title, with the error icon and an OK button.
void ShowNPXError(const ENPXException& E, QWidget* Owner, const common::TWDXStdForm& Form);

} // namespace wdx::monitor
