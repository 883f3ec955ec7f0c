// The main window's connect step, its reset, and Close.

#include "MainForm.h"

#include "common/widgets/ListView.h"
#include "common/widgets/MessageService.h"
#include "common/widgets/UpDown.h"
#include "monitor/DefaultReport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace wdx::monitor {

namespace {
constexpr int IdCannotAccessRelay = 2007;
constexpr int IdInvalidRelayReturn = 2009;
// The relay's status for a broker that answers with a notice only; it is
// shown in debug mode alone.
constexpr std::int16_t RelayNotice = 2;

// Fills a message template in one pass: %d takes Number, %s takes Text, and
// %% is a percent sign. Text is never read as a template itself.
QString FormatMessage(const QString& Template, int Number, const QString& Text) {
    QString out;
    out.reserve(Template.size() + Text.size() + 12);
    for (qsizetype i = 0; i < Template.size(); ++i) {
        if (Template[i] == u'%' && i + 1 < Template.size()) {
            const QChar kind = Template[i + 1];
            if (kind == u'd' || kind == u's' || kind == u'%') {
                out += kind == u'd' ? QString::number(Number) : kind == u's' ? Text : QStringLiteral("%");
                ++i;
                continue;
            }
        }
        out += Template[i];
    }
    return out;
}
} // namespace

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

    std::int16_t status = -1;
    // Released when the step ends, on every path.
    TComPtr<IOmniRelay> relay;
    try {
        relay = CoOmniRelay::Create();
    } catch (const std::exception& e) {
        common::ShowMessage({this, ResText(IdCannotAccessRelay) + u' ' + QString::fromUtf8(e.what()),
                             BrokerName, common::TMsgIcon::Error, common::TMsgButtons::Ok});
        return;
    }
    try {
        std::int16_t code = -1;
        if (relay->CheckBroker(BrokerName.toStdU16String(), 0, 0, 0, code).Succeeded())
            status = code;
    } catch (const std::exception&) {
        // A failed check counts as status -1, which the warning below shows.
    }
    if (status != 0 && (DebugMode || status != RelayNotice)) {
        const QString errorText = QString::fromStdU16String(ComGet(*relay, &IOmniRelay::ErrorText));
        const common::TMsgAnswer answer =
            common::ShowMessage({this, FormatMessage(ResText(IdInvalidRelayReturn), status, errorText),
                                 BrokerName, common::TMsgIcon::Warning, common::TMsgButtons::OkCancel});
        if (answer == common::TMsgAnswer::Cancel) {
            relay.Reset();
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
