#include "MainForm.h"

#include "brokerstore/BrokerStore.h"
#include "common/help/HelpRouter.h"
#include "common/widgets/FigureLabel.h"
#include "common/widgets/ListView.h"
#include "common/widgets/UpDown.h"
#include "monitor/MonitorHelpTopics.h"
#include "monitor/Startup.h"
#include "ui_MainForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabBar>
#include <QTimer>

namespace wdx::monitor {

TForm1::TForm1(const QStringList& Args, QWidget* Parent)
    : TWDXMntrStdForm(Parent), ui(std::make_unique<Ui::TForm1>()) {
    // Fixed size, a system menu and a minimize button, no maximize button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    ui->setupUi(this);
    SetPosition(TPosition::ScreenCenter);
    SetHelpContext(hc::MainWindow);
    // The page's tab is a heading here, not a stop of the keyboard order.
    ui->PageControl1->tabBar()->setFocusPolicy(Qt::NoFocus);
    ui->UpDown1->SetAssociate(ui->Edit2);
    ui->UpDown1->SetRange(MinInterval, MaxInterval);
    ui->UpDown1->SetIncrement(1);
    ui->UpDown1->SetWrap(false);
    // The buttons are as high as the edit they sit against.
    ui->UpDown1->setFixedHeight(ui->Edit2->sizeHint().height());
    ui->ListView1->SetHideSelection(false);
    ui->ListView2->SetHideSelection(true);
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    HelpRouter1 = common::CreateHelpRouter1(this);
    BindHandlers();
    FormCreate(Args);
}

TForm1::~TForm1() = default;

void TForm1::HelpBtnClick() {
    common::HelpBtnClick(*this, hc::HelpButtonMessages);
}

void TForm1::BindHandlers() {
    // Every handler reports what it does not handle itself (OnEvent).
    auto bind = [this](auto Handler) { return [this, Handler] { (this->*Handler)(); }; };
    // A choice by the operator; choosing an item from code runs nothing.
    OnEvent(ui->ComboBox1, &QComboBox::activated, bind(&TForm1::ComboBox1Change));
    OnEvent(ui->DisconnectBtn, &QPushButton::clicked, bind(&TForm1::DisconnectBtnClick));
    OnEvent(ui->CloseBtn, &QPushButton::clicked, bind(&TForm1::CloseBtnClick));
    OnEvent(ui->HelpBtn, &QPushButton::clicked, bind(&TForm1::HelpBtnClick));
    OnEvent(ui->RefreshBtn, &QPushButton::clicked, bind(&TForm1::RefreshBtnClick));
    OnEvent(Timer1, &QTimer::timeout, bind(&TForm1::RefreshBtnClick));
    // Every change of state and text, by the operator or from code.
    OnEvent(ui->cbRefresh, &QCheckBox::toggled, bind(&TForm1::cbRefreshClick));
    OnEvent(ui->Edit2, &QLineEdit::textChanged, bind(&TForm1::Edit2Change));
    OnEvent(ui->ListView1, &common::TListView::Click, bind(&TForm1::ListView1Click));
    OnEvent(ui->ListView2, &common::TListView::Click, bind(&TForm1::ListView2Click));
    OnEvent(ui->PopupMenu1, &QMenu::aboutToShow, bind(&TForm1::PopupMenu1Popup));
    OnEvent(ui->PopupMenu2, &QMenu::aboutToShow, bind(&TForm1::PopupMenu2Popup));
    OnEvent(ui->Item11, &QAction::triggered, bind(&TForm1::ListView1DblClick));
    OnEvent(ui->Item12, &QAction::triggered, bind(&TForm1::ListView2DblClick));
    connect(ui->ListView1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& At) { ui->PopupMenu1->popup(ui->ListView1->viewport()->mapToGlobal(At)); });
    connect(ui->ListView2, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& At) { ui->PopupMenu2->popup(ui->ListView2->viewport()->mapToGlobal(At)); });
}

void TForm1::FormCreate(const QStringList& Args) {
    setWindowIcon(LoadProgramIcon(QStringLiteral("ICON_VKR")));

    setWindowTitle(ResText(1002));
    ui->CloseBtn->setText(ResText(1023));
    ui->HelpBtn->setText(ResText(1027));

    LoadHeaderImage(ui->Image1);

    ui->PageControl1->setTabText(ui->PageControl1->indexOf(ui->TabSheet1), ResText(1031));
    ui->GroupBox1->setTitle(ResText(1033));
    ui->GroupBox2->setTitle(ResText(1034));
    ui->GroupBox3->setTitle(ResText(1032));
    ui->Label1->setText(ResText(1002));
    ui->Label2->setText(ResText(1051));
    ui->Label3->setText(ResText(1001));
    ui->Label4->setText(ResText(1052));
    ui->Label5->setText(ResText(1055));
    ui->lblVersionDisplay->setText(QString());
    ui->lblVersion->setText(ResText(1068));
    ui->lblVersion->hide();
    ui->cbRefresh->setText(ResText(1053));
    ui->RefreshBtn->setText(ResText(1025));
    ui->DisconnectBtn->setText(QStringLiteral("Disconnect"));
    // Controls without a text of their own are known by their label's.
    ui->Label4->setBuddy(ui->ComboBox1);
    ui->Label5->setBuddy(ui->Edit2);
    // Texts beside a caption are read as themselves, labelled by it.
    common::TieFigure(ui->Label2, ui->Label3);
    common::TieFigure(ui->lblVersion, ui->lblVersionDisplay);
    ui->ComboBox1->setAccessibleName(ui->Label4->text());
    ui->Edit2->setAccessibleName(ui->Label5->text());
    ui->UpDown1->setAccessibleName(ui->Label5->text());
    ui->ListView1->setAccessibleName(ui->GroupBox1->title());
    ui->ListView2->setAccessibleName(ui->GroupBox2->title());
    ui->Image1->setAccessibleName(ui->Label1->text());

    ui->ListView1->SetColumns({ResText(1035), ResText(1036), ResText(1037), ResText(1038), ResText(1039),
                               ResText(1040), ResText(1041)},
                              {100, 60, 60, 60, 60, 60, 60});
    ui->ListView2->SetColumns({ResText(1035), ResText(1038), ResText(1039), ResText(1040), ResText(1041)},
                              {100, 60, 60, 60, 60});

    ui->ComboBox1->clear();
    ui->ComboBox1->addItem(ResText(1067));
    ui->ComboBox1->setCurrentIndex(0);

    ui->cbRefresh->setChecked(false);
    ui->cbRefresh->setEnabled(true);
    ui->Label5->setEnabled(false);
    ui->Edit2->setEnabled(false);
    ui->UpDown1->setEnabled(false);
    Timer1->stop();
    ui->RefreshBtn->setEnabled(false);
    ui->DisconnectBtn->setEnabled(false);

    ui->Item11->setText(ResText(1011));
    ui->Item12->setText(ResText(1011));
    // Pop-up menus have no title to read; a screen reader names them by their list.
    ui->PopupMenu1->setAccessibleName(ui->GroupBox1->title());
    ui->PopupMenu2->setAccessibleName(ui->GroupBox2->title());

    ui->PageControl1->setCurrentWidget(ui->TabSheet1);

    common::LocateHelpFile(*this, brokerstore::ReadClientDir);

    BrokerName.clear();
    CurrentComponent.clear();
    CurrentService.clear();

    show(); // runs FormShow

    DebugMode = ReadCommandLine(Args, this);
}

void TForm1::FormShow() {
    ui->Edit2->setText(QStringLiteral("10"));
    // Read once: later changes to the store show at the next start.
    for (auto scope : {brokerstore::scUser, brokerstore::scSystem})
        for (const std::string& name : brokerstore::ListBrokerNames(scope))
            ui->ComboBox1->addItem(QString::fromStdString(name));
}

void TForm1::closeEvent(QCloseEvent* Event) {
    common::RunHandler([this] { FormClose(); });
    TWDXMntrStdForm::closeEvent(Event);
}

void TForm1::FormClose() {
    // However the window closes (Close button, title bar, system menu), it is
    // freed, and as the main window its closing ends the program.
    setAttribute(Qt::WA_DeleteOnClose);
    // Every way of closing ends the connection first, so the broker hears of
    // it; a teardown failure is reported and the window closes all the same.
    DisconnectBtnClick();
}

} // namespace wdx::monitor
