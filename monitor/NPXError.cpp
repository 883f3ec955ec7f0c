#include "monitor/NPXError.h"

#include "common/StdForm.h"
#include "common/widgets/MessageService.h"

#include <QString>

namespace wdx::monitor {

void ShowNPXError(const ENPXException& E, QWidget* Owner, const common::TWDXStdForm& Form) {
    common::ShowMessage({Owner, QString::fromStdString(NPXErrorText(E, Form.StringTable())),
                         QString::fromStdString(E.Title), common::TMsgIcon::Error, common::TMsgButtons::Ok});
}

} // namespace wdx::monitor
