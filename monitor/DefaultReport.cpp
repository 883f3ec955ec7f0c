#include "DefaultReport.h"

#include "common/Application.h"
#include "common/widgets/MessageService.h"

namespace wdx::monitor {

void ReportFailure(const std::exception_ptr& Failure) {
    if (!Failure)
        return;
    QString message;
    try {
        std::rethrow_exception(Failure);
    } catch (const std::exception& e) {
        message = QString::fromUtf8(e.what());
    } catch (...) {
        message = QStringLiteral("Unknown exception.");
    }
    if (auto* app = common::TWDXApplication::Instance()) {
        app->ShowException(message);
        return;
    }
    common::ShowMessage({QApplication::activeWindow(), message, QApplication::applicationName(),
                         common::TMsgIcon::Error, common::TMsgButtons::Ok});
}

} // namespace wdx::monitor
