#pragma once
// WDXMonitor's resources and the standard form of all its windows.

#include "common/StdForm.h"

namespace wdx::monitor {

// The monitor's string table and icons; its windows read nothing else.
const common::TResModule& MonitorModule();

class TWDXMntrStdForm : public common::TWDXStdForm {
    Q_OBJECT
public:
    explicit TWDXMntrStdForm(QWidget* Parent = nullptr) : common::TWDXStdForm(MonitorModule(), Parent) {}
};

} // namespace wdx::monitor
