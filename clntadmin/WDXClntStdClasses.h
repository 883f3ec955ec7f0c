#pragma once
// WDXClntAdmin's resources and the standard form of all its windows.

#include "common/StdForm.h"

namespace wdx::clntadmin {

// The administrator's string table and icons; its windows read nothing else.
const common::TResModule& ClntAdminModule();

class TWDXClntStdForm : public common::TWDXStdForm {
    Q_OBJECT
public:
    explicit TWDXClntStdForm(QWidget* Parent = nullptr) : common::TWDXStdForm(ClntAdminModule(), Parent) {}
};

} // namespace wdx::clntadmin
