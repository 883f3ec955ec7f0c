#include "ComponentDetailsForm.h"

#include "common/widgets/FigureLabel.h"
#include "common/widgets/MessageService.h"
#include "common/widgets/RadioGroup.h"
#include "common/widgets/UpDown.h"
#include "monitor/MainForm.h"
#include "monitor/NPXError.h"
#include "ui_ComponentDetailsForm.h"

#include <QRadioButton>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>

#include <limits>

namespace wdx::monitor {

namespace {

// Where the lost connection is said, once it has ended.
const char* const ConnectionEndedText =
    "The connection to the Component Broker has ended. The figures shown are the last ones read; "
    "no action can be sent.";

} // namespace

std::int32_t ReadMaximum(const QString& Text) {
    const QString t = Text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == u'+' || t[i] == u'-'))
        negative = t[i++] == u'-';
    const qsizetype digitsFrom = i;
    long long value = 0;
    bool tooLarge = false;
    for (; i < t.size() && t[i] >= u'0' && t[i] <= u'9'; ++i) {
        value = value * 10 + (t[i].unicode() - u'0');
        // Beyond 32 bits already: stop counting before 64 bits overflow.
        if (value > (1LL << 32)) {
            tooLarge = true;
            value = 1LL << 32;
        }
    }
    if (negative)
        value = -value;
    const bool number = i == t.size() && i > digitsFrom;
    if (number && !tooLarge && value >= std::numeric_limits<std::int32_t>::min() &&
        value <= std::numeric_limits<std::int32_t>::max())
        return static_cast<std::int32_t>(value);
    // Typed text is not limited; the message quotes only its start.
    const QString shown = Text.size() > 40 ? Text.left(40) + QStringLiteral("...") : Text;
    throw EConvertError(QStringLiteral("\"%1\" is not a valid integer value.").arg(shown).toStdString());
}

TForm2::TForm2(QWidget* Parent) : TWDXMntrStdForm(Parent), ui(std::make_unique<Ui::TForm2>()) {
    // A dialog border: fixed size, the system menu and the context-help button.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::WindowContextHelpButtonHint);
    ui->setupUi(this);
    // In the middle of the desktop, wherever the main window is.
    SetPosition(TPosition::ScreenCenter);
    ui->UpDown1->SetAssociate(ui->Edit1);
    ui->UpDown1->SetRange(MinMaximum, MaxMaximum);
    ui->UpDown1->SetIncrement(1);
    ui->UpDown1->SetWrap(false);
    ui->UpDown1->SyncPosition(1);
    // The buttons are as high as the edit they sit against.
    ui->UpDown1->setFixedHeight(ui->Edit1->sizeHint().height());
    // Three items side by side, of which one or none is chosen; their texts
    // come with the others.
    ui->RadioGroup1->SetColumns(3);
    ui->RadioGroup1->SetItems({QString(), QString(), QString()});
    QWidget* order[] = {ui->Edit1,
                        ui->UpDown1,
                        ui->RadioGroup1->Button(0),
                        ui->RadioGroup1->Button(1),
                        ui->RadioGroup1->Button(2),
                        ui->Button1,
                        ui->Button2,
                        ui->Button3};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    ui->lblConnectionEnded->hide();
    SetCancelButton(ui->Button2);
    BindHandlers();
    FormCreate();
}

TForm2::~TForm2() = default;

void TForm2::BindHandlers() {
    // Failures a handler does not handle itself go to the default report.
    // Every change of the maximum text counts: typed, stepped or from code
    // (the filling's own changes are told apart by FFilling).
    OnEvent(ui->Edit1, &QLineEdit::textChanged, [this] { Edit1Change(); });
    // OK closes with its modal result whatever Apply did.
    OnEvent(ui->Button1, &QPushButton::clicked, [this] { Button1Click(); });
    connect(ui->Button1, &QPushButton::clicked, this, &QDialog::accept);
    OnEvent(ui->Button2, &QPushButton::clicked, [this] { Button2Click(); });
    connect(ui->Button2, &QPushButton::clicked, this, &QDialog::reject);
    OnEvent(ui->Button3, &QPushButton::clicked, [this] { Button3Click(); });
}

void TForm2::FormCreate() {
    LoadHeaderImage(ui->Image1);
    ui->Label1->setText(ResText(1056));
    ui->Label3->setText(ResText(1057));
    ui->GroupBox1->setTitle(ResText(1042));
    ui->Label5->setText(ResText(1058));
    ui->Label7->setText(ResText(1059));
    ui->GroupBox2->setTitle(ResText(1043));
    ui->Label8->setText(ResText(1060));
    ui->Label10->setText(ResText(1061));
    ui->Label12->setText(ResText(1062));
    ui->Label14->setText(ResText(1063));
    ui->RadioGroup1->setTitle(ResText(1044));
    ui->RadioGroup1->SetItems({ResText(1064), ResText(1065), ResText(1066)});
    ui->Button1->setText(ResText(1021));
    ui->Button2->setText(ResText(1022));
    ui->Button3->setText(ResText(1026));
    ui->lblConnectionEnded->setText(QString::fromUtf8(ConnectionEndedText));
    ui->Label7->setBuddy(ui->Edit1);
    ui->Edit1->setAccessibleName(ui->Label7->text());
    ui->UpDown1->setAccessibleName(ui->Label7->text());
    // A screen reader reads each figure as its value, labelled by its caption.
    const std::pair<QLabel*, common::TFigureLabel*> figures[] = {
        {ui->Label1, ui->Label2},  {ui->Label3, ui->Label4},   {ui->Label5, ui->Label6},
        {ui->Label8, ui->Label9},  {ui->Label10, ui->Label11}, {ui->Label12, ui->Label13},
        {ui->Label14, ui->Label15}};
    for (auto [caption, value] : figures) {
        common::TieFigure(caption, value);
        value->clear();
    }
    ui->Image1->setAccessibleName(ui->Label1->text());
}

void TForm2::SetMainWindow(TForm1* MainWindow) {
    if (FMainWindow)
        disconnect(FMainWindow, &TForm1::ConnectionEnded, this, nullptr);
    FMainWindow = MainWindow;
    if (FMainWindow)
        connect(FMainWindow, &TForm1::ConnectionEnded, this, [this] { MonitorEnded(); });
}

void TForm2::SetMonitor(TMonitorLink Monitor) {
    FMonitor = std::move(Monitor);
}

void TForm2::SetBrokerName(const QString& BrokerName) {
    FBrokerName = BrokerName;
}

void TForm2::SetComponentName(const std::string& ComponentName) {
    FComponentName = ComponentName;
}

int TForm2::ItemIndex() const {
    return ui->RadioGroup1->ItemIndex();
}

void TForm2::SetItemIndex(int Index) {
    ui->RadioGroup1->SetItemIndex(Index);
}

void TForm2::closeEvent(QCloseEvent* Event) {
    common::RunHandler([this] { FormClose(); });
    TWDXMntrStdForm::closeEvent(Event);
}

void TForm2::FormClose() {}

void TForm2::FormShow() {
    QScopedValueRollback filling(FFilling, true);
    setWindowTitle(FBrokerName);
    TNPXMonitor* monitor = FMonitor.Get();
    if (!monitor) {
        // Ended before this filling: the last figures stay, marked as such.
        MonitorEnded();
        return;
    }
    TServerMore more;
    try {
        more = monitor->GetServerMore(FComponentName);
    } catch (const ENPXException& e) {
        ShowNPXError(e, this, *this);
        return;
    }
    ui->Label2->setText(QString::fromStdString(FComponentName));
    ui->Label4->setText(QString::fromStdString(more.InvokedBy));
    ui->Label6->setText(QString::number(more.Active));
    ui->Edit1->setText(QString::number(more.Maximum));
    // The buttons step from the figure shown (kept within their range).
    ui->UpDown1->SyncPosition(more.Maximum);
    ui->Label9->setText(QString::number(more.Requests));
    ui->Label11->setText(QString::number(more.Queued));
    ui->Label13->setText(QString::number(more.QueueTime));
    ui->Label15->setText(QString::number(more.ServiceTime));
    SetItemIndex(-1);
}

void TForm2::Edit1Change() {
    if (!FFilling && !FConnectionGone)
        SetItemIndex(1);
}

void TForm2::Button1Click() {
    Button3Click();
}

void TForm2::Button2Click() {}

void TForm2::Button3Click() {
    const int item = ItemIndex();
    if (item < 0)
        return;
    static const char* const words[] = {"retire", "setmax", "clear"};
    // Read before anything is sent: a text that is no number sends nothing.
    const std::int32_t value = item == 1 ? ReadMaximum(ui->Edit1->text()) : 0;
    TNPXMonitor* monitor = FMonitor.Get();
    if (!monitor) {
        // Only when the end was not told (no main window to tell it): the
        // operator must not believe the action was sent.
        MonitorEnded();
        common::ShowMessage({this, QString::fromUtf8(ConnectionEndedText),
                             QString::fromStdString(FComponentName), common::TMsgIcon::Error,
                             common::TMsgButtons::Ok});
        return;
    }
    try {
        monitor->PerformAction(FComponentName, words[item], value);
    } catch (const ENPXException& e) {
        ShowNPXError(e, this, *this);
        return;
    }
    // The main window first, then the dialog's own figures. A refill that
    // fails resets the main window and ends the connection; FormShow then
    // finds the link empty and calls nothing.
    if (FMainWindow) {
        FMainWindow->FillComponentList();
        if (FMainWindow)
            FMainWindow->FillServiceList();
    }
    FormShow();
}

void TForm2::MonitorEnded() {
    if (FConnectionGone)
        return;
    FConnectionGone = true;
    {
        // Nothing chosen any more, and this change is no typing.
        QScopedValueRollback filling(FFilling, true);
        SetItemIndex(-1);
    }
    ui->RadioGroup1->setEnabled(false);
    ui->Edit1->setEnabled(false);
    ui->UpDown1->setEnabled(false);
    ui->Button3->setEnabled(false);
    ui->lblConnectionEnded->show();
}

} // namespace wdx::monitor
