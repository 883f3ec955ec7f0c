#include "ComponentDetailsForm.h"

#include "common/FormControls.h"
#include "common/widgets/MessageService.h"
#include "common/widgets/UpDown.h"
#include "monitor/DefaultReport.h"
#include "monitor/MainForm.h"
#include "monitor/NPXError.h"

#include <QButtonGroup>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QVBoxLayout>

#include <limits>

namespace wdx::monitor {

namespace {

using common::Named;
QLabel* Label(QWidget* Parent, const char* Name) {
    return common::NamedLabel(Parent, Name);
}
constexpr auto Bevel = common::NamedBevel;

QPushButton* Button(QWidget* Parent, const char* Name) {
    auto* b = Named(new QPushButton(QLatin1String(Name), Parent), Name);
    b->setMinimumWidth(75);
    // Enter in the maximum box must not send an action and close the dialog
    // behind the operator's back: no button is pressed by Enter.
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
}

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

TForm2::TForm2(QWidget* Parent) : TWDXMntrStdForm(Parent) {
    CreateControls();
    BindHandlers();
    FormCreate();
}

TForm2::~TForm2() = default;

void TForm2::CreateControls() {
    setObjectName(QStringLiteral("WDXMntrSrvrForm"));
    setWindowTitle(QStringLiteral("WDXMntrSrvrForm"));
    // A dialog border: fixed size, the system menu and the context-help button.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::WindowContextHelpButtonHint);
    setFixedSize(ClientWidth, ClientHeight);

    auto* formLayout = new QVBoxLayout(this);
    formLayout->setContentsMargins(8, 8, 8, 8);
    formLayout->setSpacing(8);

    Panel1 = Named(new QFrame(this), "Panel1");
    Panel1->setFrameShape(QFrame::StyledPanel);
    Panel1->setFrameShadow(QFrame::Raised);
    formLayout->addWidget(Panel1, 1);
    auto* panel = new QVBoxLayout(Panel1);
    panel->setContentsMargins(8, 8, 8, 8);
    panel->setSpacing(6);

    // Heading: the product icon beside the component's name.
    auto* heading = new QHBoxLayout;
    Image1 = Named(new QLabel(Panel1), "Image1");
    Image1->setFixedSize(33, 33);
    Label1 = Label(Panel1, "Label1");
    Label2 = Label(Panel1, "Label2");
    heading->addWidget(Image1);
    heading->addSpacing(8);
    heading->addWidget(Label1);
    heading->addWidget(Label2, 1);
    panel->addLayout(heading);
    Bevel1 = Bevel(Panel1, "Bevel1");
    panel->addWidget(Bevel1);

    auto* invoked = new QHBoxLayout;
    Label3 = Label(Panel1, "Label3");
    Label4 = Label(Panel1, "Label4");
    invoked->addWidget(Label3);
    invoked->addWidget(Label4, 1);
    panel->addLayout(invoked);
    Bevel2 = Bevel(Panel1, "Bevel2");
    panel->addWidget(Bevel2);

    GroupBox1 = Named(new QGroupBox(QStringLiteral("GroupBox1"), Panel1), "GroupBox1");
    auto* instances = new QGridLayout(GroupBox1);
    Label5 = Label(GroupBox1, "Label5");
    Label6 = Label(GroupBox1, "Label6");
    Label7 = Label(GroupBox1, "Label7");
    Edit1 = Named(new QLineEdit(QStringLiteral("1"), GroupBox1), "Edit1");
    Edit1->setFixedWidth(64);
    UpDown1 = Named(new common::TUpDown(GroupBox1), "UpDown1");
    UpDown1->SetAssociate(Edit1);
    UpDown1->SetRange(MinMaximum, MaxMaximum);
    UpDown1->SetIncrement(1);
    UpDown1->SetWrap(false);
    UpDown1->SyncPosition(1);
    UpDown1->setFixedHeight(Edit1->sizeHint().height());
    auto* maximum = new QHBoxLayout;
    maximum->setSpacing(0);
    maximum->addWidget(Edit1);
    maximum->addWidget(UpDown1);
    maximum->addStretch(1);
    instances->addWidget(Label5, 0, 0);
    instances->addWidget(Label6, 0, 1);
    instances->addWidget(Label7, 1, 0);
    instances->addLayout(maximum, 1, 1);
    instances->setColumnStretch(1, 1);
    panel->addWidget(GroupBox1);

    GroupBox2 = Named(new QGroupBox(QStringLiteral("GroupBox2"), Panel1), "GroupBox2");
    auto* statistics = new QGridLayout(GroupBox2);
    Label8 = Label(GroupBox2, "Label8");
    Label9 = Label(GroupBox2, "Label9");
    Label10 = Label(GroupBox2, "Label10");
    Label11 = Label(GroupBox2, "Label11");
    Label12 = Label(GroupBox2, "Label12");
    Label13 = Label(GroupBox2, "Label13");
    Label14 = Label(GroupBox2, "Label14");
    Label15 = Label(GroupBox2, "Label15");
    QLabel* pairs[][2] = {{Label8, Label9}, {Label10, Label11}, {Label12, Label13}, {Label14, Label15}};
    for (int r = 0; r < 4; ++r) {
        statistics->addWidget(pairs[r][0], r, 0);
        statistics->addWidget(pairs[r][1], r, 1);
    }
    statistics->setColumnStretch(1, 1);
    panel->addWidget(GroupBox2);

    // Three items side by side, of which one or none is chosen.
    RadioGroup1 = Named(new QGroupBox(QStringLiteral("RadioGroup1"), Panel1), "RadioGroup1");
    auto* actions = new QHBoxLayout(RadioGroup1);
    FRadioButtons = new QButtonGroup(this);
    FRadioButtons->setExclusive(true);
    for (int i = 0; i < 3; ++i) {
        auto* b = new QRadioButton(RadioGroup1);
        b->setObjectName(QStringLiteral("RadioGroup1Item%1").arg(i));
        FRadioButtons->addButton(b, i);
        actions->addWidget(b);
        RadioGroup1Items[i] = b;
    }
    panel->addWidget(RadioGroup1);

    lblConnectionEnded = Label(Panel1, "lblConnectionEnded");
    lblConnectionEnded->setWordWrap(true);
    lblConnectionEnded->hide();
    panel->addWidget(lblConnectionEnded);
    panel->addStretch(1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    Button1 = Button(this, "Button1");
    Button2 = Button(this, "Button2");
    Button3 = Button(this, "Button3");
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    buttons->addWidget(Button3);
    formLayout->addLayout(buttons);
    SetCancelButton(Button2);
}

void TForm2::BindHandlers() {
    // Failures a handler does not handle itself go to the default report.
    // Every change of the maximum text counts: typed, stepped or from code
    // (the filling's own changes are told apart by FFilling).
    connect(Edit1, &QLineEdit::textChanged, this, [this] { RunHandler([this] { Edit1Change(); }); });
    // OK closes with its modal result whatever Apply did.
    connect(Button1, &QPushButton::clicked, this, [this] {
        RunHandler([this] { Button1Click(); });
        accept();
    });
    connect(Button2, &QPushButton::clicked, this, [this] {
        RunHandler([this] { Button2Click(); });
        reject();
    });
    connect(Button3, &QPushButton::clicked, this, [this] { RunHandler([this] { Button3Click(); }); });
}

void TForm2::FormCreate() {
    LoadHeaderImage(Image1);
    Label1->setText(ResText(1056));
    Label3->setText(ResText(1057));
    GroupBox1->setTitle(ResText(1042));
    Label5->setText(ResText(1058));
    Label7->setText(ResText(1059));
    GroupBox2->setTitle(ResText(1043));
    Label8->setText(ResText(1060));
    Label10->setText(ResText(1061));
    Label12->setText(ResText(1062));
    Label14->setText(ResText(1063));
    RadioGroup1->setTitle(ResText(1044));
    RadioGroup1Items[0]->setText(ResText(1064));
    RadioGroup1Items[1]->setText(ResText(1065));
    RadioGroup1Items[2]->setText(ResText(1066));
    Button1->setText(ResText(1021));
    Button2->setText(ResText(1022));
    Button3->setText(ResText(1026));
    lblConnectionEnded->setText(QString::fromUtf8(ConnectionEndedText));
    Label7->setBuddy(Edit1);
    Edit1->setAccessibleName(Label7->text());
    UpDown1->setAccessibleName(Label7->text());
    for (QLabel* value : {Label2, Label4, Label6, Label9, Label11, Label13, Label15})
        value->clear();
    // A screen reader names each figure by its caption, not by its group.
    const std::pair<QLabel*, QLabel*> figures[] = {{Label1, Label2},  {Label3, Label4},   {Label5, Label6},
                                                   {Label8, Label9},  {Label10, Label11}, {Label12, Label13},
                                                   {Label14, Label15}};
    for (auto [caption, value] : figures)
        value->setAccessibleName(caption->text());
    Image1->setAccessibleName(Label1->text());
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
    return FRadioButtons->checkedId();
}

void TForm2::SetItemIndex(int Index) {
    if (Index >= 0 && Index < 3) {
        RadioGroup1Items[Index]->setChecked(true);
        return;
    }
    // No item chosen: an exclusive group allows that only while it is off.
    FRadioButtons->setExclusive(false);
    for (QRadioButton* b : RadioGroup1Items)
        b->setChecked(false);
    FRadioButtons->setExclusive(true);
}

void TForm2::showEvent(QShowEvent* Event) {
    TWDXMntrStdForm::showEvent(Event);
    if (!FShown) {
        FShown = true;
        // In the middle of the desktop, wherever the main window is.
        if (QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen()) {
            const QRect area = s->availableGeometry();
            move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
        }
        RunHandler([this] { FormShow(); });
    }
}

void TForm2::closeEvent(QCloseEvent* Event) {
    RunHandler([this] { FormClose(); });
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
    Label2->setText(QString::fromStdString(FComponentName));
    Label4->setText(QString::fromStdString(more.InvokedBy));
    Label6->setText(QString::number(more.Active));
    Edit1->setText(QString::number(more.Maximum));
    // The buttons step from the figure shown (kept within their range).
    UpDown1->SyncPosition(more.Maximum);
    Label9->setText(QString::number(more.Requests));
    Label11->setText(QString::number(more.Queued));
    Label13->setText(QString::number(more.QueueTime));
    Label15->setText(QString::number(more.ServiceTime));
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
    const std::int32_t value = item == 1 ? ReadMaximum(Edit1->text()) : 0;
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
    RadioGroup1->setEnabled(false);
    Edit1->setEnabled(false);
    UpDown1->setEnabled(false);
    Button3->setEnabled(false);
    lblConnectionEnded->show();
}

} // namespace wdx::monitor
