#include "common/DefaultReport.h"

#include "common/Application.h"
#include "common/widgets/MessageService.h"

namespace wdx::common {

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
    if (auto* app = TWDXApplication::Instance()) {
        app->ShowException(message);
        return;
    }
    ShowMessage({QApplication::activeWindow(), message, QApplication::applicationName(), TMsgIcon::Error,
                 TMsgButtons::Ok});
}

} // namespace wdx::common
