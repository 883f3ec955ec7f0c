// The main window's component and service lists, their selection, their
// pop-up menus, and the refresh by hand and by Timer1.

#include "MainForm.h"

#include "common/widgets/ListView.h"
#include "common/widgets/UpDown.h"
#include "monitor/DefaultReport.h"
#include "monitor/NPXError.h"
#include "monitor/ListRows.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <stdexcept>

namespace wdx::monitor {

namespace {

// The interval text the window refuses.
class EIntervalError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The interval typed into Edit2, in seconds. Only whole numbers from 1 to
// 3600 are taken: 0 or less would make the timer fire without pause, and
// larger numbers overflow its count of milliseconds. Anything else is
// refused like text that is no number at all.
int ReadInterval(const QString& Text) {
    const QString t = Text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == u'+' || t[i] == u'-'))
        negative = t[i++] == u'-';
    long long value = 0;
    const qsizetype digitsFrom = i;
    // Capped far above the range: long digit strings never overflow.
    for (; i < t.size() && t[i] >= u'0' && t[i] <= u'9'; ++i)
        value = std::min(value * 10 + (t[i].unicode() - u'0'), 1LL << 40);
    const bool number = i == t.size() && i > digitsFrom;
    if (negative)
        value = -value;
    if (number && value >= TForm1::MinInterval && value <= TForm1::MaxInterval)
        return static_cast<int>(value);
    // Typed text is not limited; the box quotes only its start.
    QString shown = Text.size() > 40 ? Text.left(40) + QStringLiteral("...") : Text;
    throw EIntervalError(
        QStringLiteral("\"%1\" is not a valid interval: enter a whole number of seconds from %2 to %3.")
            .arg(shown)
            .arg(TForm1::MinInterval)
            .arg(TForm1::MaxInterval)
            .toStdString());
}

// Where the operator has scrolled a list to; a refill puts it back.
struct TScrollPlace {
    int Vertical, Horizontal;
};
TScrollPlace ScrollPlace(const common::TListView* List) {
    return {List->verticalScrollBar()->value(), List->horizontalScrollBar()->value()};
}
void Restore(common::TListView* List, TScrollPlace Place) {
    List->verticalScrollBar()->setValue(Place.Vertical);
    List->horizontalScrollBar()->setValue(Place.Horizontal);
}

} // namespace

void TForm1::FillComponentList() {
    QScopedValueRollback filling(FFilling, true);
    const TScrollPlace place = ScrollPlace(ListView1);
    ListView1->Items()->Clear();
    if (!Connection)
        return;
    TServerList servers;
    try {
        servers = Connection->GetServers();
    } catch (const ENPXException& e) {
        ShowNPXError(e, this, *this);
        DisconnectBtnClick();
        return;
    }
    // Reselect the component last clicked: the first row of exactly that
    // name. Nothing clicked means nothing to reselect.
    const int selected =
        CurrentComponent.isEmpty() ? -1 : FindServer(servers, CurrentComponent.toStdString());
    ListView1->Items()->Assign(std::make_unique<TServerRows>(std::move(servers)));
    ListView1->SelectRow(selected);
    // Selecting would scroll to the row; the operator's place counts more.
    Restore(ListView1, place);
}

void TForm1::FillServiceList() {
    QScopedValueRollback filling(FFilling, true);
    const TScrollPlace place = ScrollPlace(ListView2);
    ListView2->Items()->Clear();
    if (!Connection || CurrentComponent.isEmpty())
        return;
    TServiceList services;
    try {
        services = Connection->GetServices(CurrentComponent.toStdString());
    } catch (const ENPXException& e) {
        ShowNPXError(e, this, *this);
        DisconnectBtnClick();
        return;
    }
    ListView2->Items()->Assign(std::make_unique<TServiceRows>(std::move(services)));
    Restore(ListView2, place);
}

void TForm1::ListView1Click() {
    const int row = ListView1->SelectedRow();
    CurrentComponent = row >= 0 ? ListView1->Items()->Caption(row) : QString();
    FillServiceList();
}

void TForm1::ListView2Click() {
    const int row = ListView2->SelectedRow();
    CurrentService = row >= 0 ? ListView2->Items()->Caption(row) : QString();
}

void TForm1::PopupMenu1Popup() {
    Item11->setEnabled(ListView1->SelectedRow() >= 0);
}

void TForm1::PopupMenu2Popup() {
    Item12->setEnabled(ListView2->SelectedRow() >= 0);
}

void TForm1::ListView1DblClick() {
    if (ListView1->SelectedRow() < 0)
        return;
    // For the component last clicked, whose services are listed, even when
    // the keyboard has moved the selection since.
    OpenComponentDetails();
}

void TForm1::ListView2DblClick() {
    const int row = ListView2->SelectedRow();
    if (row < 0) {
        CurrentService.clear();
        return;
    }
    CurrentService = ListView2->Items()->Caption(row);
    OpenParamDetails();
}

void TForm1::RefreshBtnClick() {
    // A tick that comes while a refresh or a fill waits on its message box
    // is skipped: otherwise every interval would stack one more refresh and
    // one more box on top, without end, while the operator is away.
    if (FRefreshing || FFilling)
        return;
    QScopedValueRollback refreshing(FRefreshing, true);
    // Shown disabled while the calls below block the window.
    RefreshBtn->setEnabled(false);
    RefreshBtn->repaint();
    std::exception_ptr failure;
    try {
        FillComponentList();
        FillServiceList();
    } catch (...) {
        failure = std::current_exception();
    }
    // After a reset (a fill the broker refused) the button stays disabled.
    // Enabled, it is painted as this handler returns (or by the report's box
    // below): as soon as a repaint here would, without its cost.
    if (Connection)
        RefreshBtn->setEnabled(true);
    // Reported while the refresh still counts as under way, so that ticks
    // meanwhile wait for the operator's answer.
    if (failure)
        ReportFailure(failure);
}

void TForm1::cbRefreshClick() {
    const bool on = cbRefresh->isChecked();
    Label5->setEnabled(on);
    Edit2->setEnabled(on);
    UpDown1->setEnabled(on);
    if (!on) {
        Timer1->stop();
        return;
    }
    // Enabled first: a refused interval leaves the timer running at its last
    // valid one.
    Timer1->start();
    Timer1->setInterval(ReadInterval(Edit2->text()) * 1000);
}

void TForm1::Edit2Change() {
    Timer1->setInterval(ReadInterval(Edit2->text()) * 1000);
}

} // namespace wdx::monitor
