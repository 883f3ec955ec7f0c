// The main window's connect step, its reset, and Close.

#include "MainForm.h"

#include "common/widgets/ListView.h"
#include "common/widgets/MessageService.h"
#include "common/widgets/UpDown.h"
#include "monitor/DefaultReport.h"
#include "monitor/NPXError.h"
#include "monitor/RelayCheck.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace wdx::monitor {

void TForm1::ComboBox1Change() {
    const int chosen = ComboBox1->currentIndex();
    // "(None)" leaves a standing connection as it is.
    if (chosen <= 0)
        return;
    DisconnectBtnClick();
    ComboBox1->setCurrentIndex(chosen);
    // The name is used whole, however long: cutting it would ask for another
    // broker, or for none.
    BrokerName = ComboBox1->itemText(chosen);

    // The relay is released when the step ends, on every path.
    TRelayCheck relay = CheckBrokerThroughRelay(BrokerName.toStdU16String());
    if (!relay.Created()) {
        common::ShowMessage({this, QString::fromStdString(RelayFailureText(relay, StringTable())), BrokerName,
                             common::TMsgIcon::Error, common::TMsgButtons::Ok});
        return;
    }
    if (relay.NeedsWarning(DebugMode)) {
        const std::string warning = RelayWarningText(relay.Status(), relay.ErrorText(), StringTable());
        const common::TMsgAnswer answer =
            common::ShowMessage({this, QString::fromStdString(warning), BrokerName, common::TMsgIcon::Warning,
                                 common::TMsgButtons::OkCancel});
        if (answer == common::TMsgAnswer::Cancel) {
            relay.Release();
            DisconnectBtnClick();
            return;
        }
    }

    std::unique_ptr<TNPXMonitor> monitor;
    try {
        monitor = std::make_unique<TNPXMonitor>(BrokerName.toStdU16String());
    } catch (const ENPXException& e) {
        ShowNPXError(e, this, *this);
        return;
    }
    Connection.Adopt(std::move(monitor));
    lblVersionDisplay->setText(QString::fromStdString(Connection->GetVersion()));
    lblVersion->show();
    lblVersionDisplay->show();

    std::exception_ptr failure;
    try {
        FillComponentList();
    } catch (...) {
        failure = std::current_exception();
    }
    // A fill that failed with a broker's refusal has reset the window.
    if (Connection) {
        RefreshBtn->setEnabled(true);
        DisconnectBtn->setEnabled(true);
    }
    if (failure)
        std::rethrow_exception(failure);
}

void TForm1::DisconnectBtnClick() {
    // The reset always completes; a failure to tear the connection down is
    // passed on only once the window is back in its start state.
    std::exception_ptr failure;
    const bool ended = bool(Connection);
    try {
        Connection.Destroy();
    } catch (...) {
        failure = std::current_exception();
    }
    cbRefresh->setChecked(false); // runs cbRefreshClick when it was checked
    ComboBox1->setCurrentIndex(0);
    DisconnectBtn->setEnabled(false);
    Label5->setEnabled(false);
    Edit2->setEnabled(false);
    UpDown1->setEnabled(false);
    Timer1->stop();
    RefreshBtn->setEnabled(false);
    BrokerName.clear();
    CurrentComponent.clear();
    CurrentService.clear();
    ListView1->Items()->Clear();
    ListView2->Items()->Clear();
    lblVersion->hide();
    lblVersionDisplay->hide();
    if (ended)
        emit ConnectionEnded();
    if (failure)
        std::rethrow_exception(failure);
}

void TForm1::CloseBtnClick() {
    // A failed teardown is reported over the window; it closes all the same.
    RunHandler([this] { DisconnectBtnClick(); });
    close();
}

} // namespace wdx::monitor
