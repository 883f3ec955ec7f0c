#include "common/widgets/MessageService.h"

#include <QMessageBox>

namespace wdx::common {

namespace {
TMessageHandler& CurrentHandler() {
    static TMessageHandler handler;
    return handler;
}

QMessageBox::Icon ToQt(TMsgIcon Icon) {
    switch (Icon) {
    case TMsgIcon::Error:
        return QMessageBox::Critical;
    case TMsgIcon::Warning:
        return QMessageBox::Warning;
    case TMsgIcon::Information:
        return QMessageBox::Information;
    case TMsgIcon::Question:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

TMsgAnswer ShowReal(const TMessageRequest& R) {
    QMessageBox box(ToQt(R.Icon), R.Caption, R.Text, QMessageBox::NoButton, R.Owner);
    switch (R.Buttons) {
    case TMsgButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
        break;
    case TMsgButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setEscapeButton(QMessageBox::Cancel);
        break;
    case TMsgButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok:
        return TMsgAnswer::Ok;
    case QMessageBox::Yes:
        return TMsgAnswer::Yes;
    case QMessageBox::No:
        return TMsgAnswer::No;
    default:
        break;
    }
    return R.Buttons == TMsgButtons::Ok      ? TMsgAnswer::Ok
           : R.Buttons == TMsgButtons::YesNo ? TMsgAnswer::No
                                             : TMsgAnswer::Cancel;
}
} // namespace

TMsgAnswer ShowMessage(const TMessageRequest& Request) {
    if (auto& h = CurrentHandler())
        return h(Request);
    return ShowReal(Request);
}

TMessageHandlerScope::TMessageHandlerScope(TMessageHandler Handler) : FPrevious(std::move(CurrentHandler())) {
    CurrentHandler() = std::move(Handler);
}

TMessageHandlerScope::~TMessageHandlerScope() {
    CurrentHandler() = std::move(FPrevious);
}

} // namespace wdx::common
