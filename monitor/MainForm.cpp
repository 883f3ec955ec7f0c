#include "MainForm.h"

#include "brokerstore/BrokerStore.h"
#include "common/FormControls.h"
#include "common/help/HelpFile.h"
#include "common/help/HelpRouter.h"
#include "common/widgets/ListView.h"
#include "common/widgets/UpDown.h"
#include "monitor/DefaultReport.h"
#include "monitor/Startup.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace wdx::monitor {

namespace {
constexpr int ButtonWidth = 75;

using common::Named;
constexpr auto Bevel = common::NamedBevel;

QPushButton* Button(QWidget* Parent, const char* Name) {
    auto* b = Named(new QPushButton(QLatin1String(Name), Parent), Name);
    b->setMinimumWidth(ButtonWidth);
    // A main window has no default button: Enter in the edit presses nothing.
    b->setAutoDefault(false);
    return b;
}

QLabel* Label(QWidget* Parent, const char* Name) {
    return common::NamedLabel(Parent, Name);
}
} // namespace

TForm1::TForm1(const QStringList& Args, QWidget* Parent) : TWDXMntrStdForm(Parent) {
    CreateControls();
    HelpRouter1 = common::CreateHelpRouter1(this);
    BindHandlers();
    FormCreate(Args);
}

TForm1::~TForm1() = default;

void TForm1::CreateControls() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Form1"));
    // Fixed size, a system menu and a minimize button, no maximize button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(ClientWidth, ClientHeight);
    SetHelpContext(HelpContextId);

    auto* formLayout = new QVBoxLayout(this);
    formLayout->setContentsMargins(8, 8, 8, 8);
    formLayout->setSpacing(8);

    PageControl1 = Named(new QTabWidget(this), "PageControl1");
    // The page's tab is a heading here, not a stop of the keyboard order.
    PageControl1->setFocusPolicy(Qt::NoFocus);
    PageControl1->tabBar()->setFocusPolicy(Qt::NoFocus);
    TabSheet1 = Named(new QWidget(PageControl1), "TabSheet1");
    PageControl1->addTab(TabSheet1, QStringLiteral("TabSheet1"));
    formLayout->addWidget(PageControl1, 1);

    auto* page = new QVBoxLayout(TabSheet1);
    page->setContentsMargins(8, 8, 8, 8);
    page->setSpacing(6);

    // Heading: the product icon and the program's name, over a rule.
    auto* heading = new QHBoxLayout;
    Image1 = Named(new QLabel(TabSheet1), "Image1");
    Image1->setFixedSize(33, 33);
    Label1 = Label(TabSheet1, "Label1");
    heading->addWidget(Image1);
    heading->addSpacing(8);
    heading->addWidget(Label1, 1);
    page->addLayout(heading);
    Bevel1 = Bevel(TabSheet1, "Bevel1");
    page->addWidget(Bevel1);

    // Type row and broker row share their label column.
    auto* rows = new QGridLayout;
    rows->setHorizontalSpacing(8);
    Label2 = Label(TabSheet1, "Label2");
    Label3 = Label(TabSheet1, "Label3");
    rows->addWidget(Label2, 0, 0);
    rows->addWidget(Label3, 0, 1);
    Label4 = Label(TabSheet1, "Label4");
    ComboBox1 = Named(new QComboBox(TabSheet1), "ComboBox1");
    ComboBox1->setEditable(false);
    ComboBox1->setFixedWidth(180);
    ComboBox1->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    lblVersion = Label(TabSheet1, "lblVersion");
    lblVersionDisplay = Label(TabSheet1, "lblVersionDisplay");
    DisconnectBtn = Button(TabSheet1, "DisconnectBtn");
    auto* broker = new QHBoxLayout;
    broker->setSpacing(8);
    broker->addWidget(ComboBox1);
    broker->addWidget(lblVersion);
    broker->addWidget(lblVersionDisplay, 1);
    broker->addWidget(DisconnectBtn);
    rows->addWidget(Label4, 1, 0);
    rows->addLayout(broker, 1, 1);
    rows->setColumnStretch(1, 1);
    page->addLayout(rows);
    Bevel2 = Bevel(TabSheet1, "Bevel2");
    page->addWidget(Bevel2);

    // Refresh group: automatic on/off, its interval, and the manual refresh.
    GroupBox3 = Named(new QGroupBox(QStringLiteral("GroupBox3"), TabSheet1), "GroupBox3");
    auto* refresh = new QHBoxLayout(GroupBox3);
    cbRefresh = Named(new QCheckBox(QStringLiteral("cbRefresh"), GroupBox3), "cbRefresh");
    Label5 = Label(GroupBox3, "Label5");
    Edit2 = Named(new QLineEdit(QStringLiteral("Edit2"), GroupBox3), "Edit2");
    Edit2->setFixedWidth(48);
    UpDown1 = Named(new common::TUpDown(GroupBox3), "UpDown1");
    UpDown1->SetAssociate(Edit2);
    UpDown1->SetRange(1, 3600);
    UpDown1->SetIncrement(1);
    UpDown1->SetWrap(false);
    UpDown1->setFixedHeight(Edit2->sizeHint().height());
    RefreshBtn = Button(GroupBox3, "RefreshBtn");
    refresh->addWidget(cbRefresh);
    refresh->addSpacing(24);
    refresh->addWidget(Label5);
    refresh->addWidget(Edit2);
    refresh->addSpacing(-refresh->spacing()); // the buttons sit against the edit
    refresh->addWidget(UpDown1);
    refresh->addStretch(1);
    refresh->addWidget(RefreshBtn);
    page->addWidget(GroupBox3);

    GroupBox1 = Named(new QGroupBox(QStringLiteral("GroupBox1"), TabSheet1), "GroupBox1");
    ListView1 = Named(new common::TListView(GroupBox1), "ListView1");
    ListView1->SetHideSelection(false);
    (new QVBoxLayout(GroupBox1))->addWidget(ListView1);
    page->addWidget(GroupBox1, 1);

    GroupBox2 = Named(new QGroupBox(QStringLiteral("GroupBox2"), TabSheet1), "GroupBox2");
    ListView2 = Named(new common::TListView(GroupBox2), "ListView2");
    ListView2->SetHideSelection(true);
    (new QVBoxLayout(GroupBox2))->addWidget(ListView2);
    page->addWidget(GroupBox2, 1);

    // Bottom row, outside the page.
    auto* bottom = new QHBoxLayout;
    CloseBtn = Button(this, "CloseBtn");
    HelpBtn = Button(this, "HelpBtn");
    bottom->addStretch(1);
    bottom->addWidget(CloseBtn);
    bottom->addWidget(HelpBtn);
    formLayout->addLayout(bottom);

    Timer1 = Named(new QTimer(this), "Timer1");
    PopupMenu1 = Named(new QMenu(this), "PopupMenu1");
    Item11 = Named(PopupMenu1->addAction(QStringLiteral("Item11")), "Item11");
    PopupMenu2 = Named(new QMenu(this), "PopupMenu2");
    Item12 = Named(PopupMenu2->addAction(QStringLiteral("Item12")), "Item12");
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    ListView2->setContextMenuPolicy(Qt::CustomContextMenu);

    // Keyboard order.
    QWidget* order[] = {ComboBox1, cbRefresh, Edit2,         UpDown1,  RefreshBtn,
                        ListView1, ListView2, DisconnectBtn, CloseBtn, HelpBtn};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void TForm1::HelpBtnClick() {
    common::HelpBtnClick(*this, common::MonitorHelpMessages);
}

void TForm1::BindHandlers() {
    // Every handler reports what it does not handle itself; see RunHandler.
    auto bind = [this](auto Handler) {
        return [this, Handler] { RunHandler([this, Handler] { (this->*Handler)(); }); };
    };
    // A choice by the operator; choosing an item from code runs nothing.
    connect(ComboBox1, &QComboBox::activated, this, bind(&TForm1::ComboBox1Change));
    connect(DisconnectBtn, &QPushButton::clicked, this, bind(&TForm1::DisconnectBtnClick));
    connect(CloseBtn, &QPushButton::clicked, this, bind(&TForm1::CloseBtnClick));
    connect(HelpBtn, &QPushButton::clicked, this, bind(&TForm1::HelpBtnClick));
    connect(RefreshBtn, &QPushButton::clicked, this, bind(&TForm1::RefreshBtnClick));
    connect(Timer1, &QTimer::timeout, this, bind(&TForm1::RefreshBtnClick));
    // Every change of state and text, by the operator or from code.
    connect(cbRefresh, &QCheckBox::toggled, this, bind(&TForm1::cbRefreshClick));
    connect(Edit2, &QLineEdit::textChanged, this, bind(&TForm1::Edit2Change));
    connect(ListView1, &common::TListView::Click, this, bind(&TForm1::ListView1Click));
    connect(ListView2, &common::TListView::Click, this, bind(&TForm1::ListView2Click));
    connect(PopupMenu1, &QMenu::aboutToShow, this, bind(&TForm1::PopupMenu1Popup));
    connect(PopupMenu2, &QMenu::aboutToShow, this, bind(&TForm1::PopupMenu2Popup));
    connect(Item11, &QAction::triggered, this, bind(&TForm1::ListView1DblClick));
    connect(Item12, &QAction::triggered, this, bind(&TForm1::ListView2DblClick));
    connect(ListView1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& At) { PopupMenu1->popup(ListView1->viewport()->mapToGlobal(At)); });
    connect(ListView2, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& At) { PopupMenu2->popup(ListView2->viewport()->mapToGlobal(At)); });
}

void TForm1::FormCreate(const QStringList& Args) {
    setWindowIcon(LoadProgramIcon(QStringLiteral("ICON_VKR")));

    setWindowTitle(ResText(1002));
    CloseBtn->setText(ResText(1023));
    HelpBtn->setText(ResText(1027));

    LoadHeaderImage(Image1);

    PageControl1->setTabText(PageControl1->indexOf(TabSheet1), ResText(1031));
    GroupBox1->setTitle(ResText(1033));
    GroupBox2->setTitle(ResText(1034));
    GroupBox3->setTitle(ResText(1032));
    Label1->setText(ResText(1002));
    Label2->setText(ResText(1051));
    Label3->setText(ResText(1001));
    Label4->setText(ResText(1052));
    Label5->setText(ResText(1055));
    lblVersionDisplay->setText(QString());
    lblVersion->setText(ResText(1068));
    lblVersion->hide();
    cbRefresh->setText(ResText(1053));
    RefreshBtn->setText(ResText(1025));
    DisconnectBtn->setText(QStringLiteral("Disconnect"));
    // Controls without a text of their own are known by their label's.
    Label4->setBuddy(ComboBox1);
    Label5->setBuddy(Edit2);
    ComboBox1->setAccessibleName(Label4->text());
    Edit2->setAccessibleName(Label5->text());
    UpDown1->setAccessibleName(Label5->text());
    ListView1->setAccessibleName(GroupBox1->title());
    ListView2->setAccessibleName(GroupBox2->title());
    Image1->setAccessibleName(Label1->text());

    ListView1->SetColumns({ResText(1035), ResText(1036), ResText(1037), ResText(1038), ResText(1039),
                           ResText(1040), ResText(1041)},
                          {100, 60, 60, 60, 60, 60, 60});
    ListView2->SetColumns({ResText(1035), ResText(1038), ResText(1039), ResText(1040), ResText(1041)},
                          {100, 60, 60, 60, 60});

    ComboBox1->clear();
    ComboBox1->addItem(ResText(1067));
    ComboBox1->setCurrentIndex(0);

    cbRefresh->setChecked(false);
    cbRefresh->setEnabled(true);
    Label5->setEnabled(false);
    Edit2->setEnabled(false);
    UpDown1->setEnabled(false);
    Timer1->stop();
    RefreshBtn->setEnabled(false);
    DisconnectBtn->setEnabled(false);

    Item11->setText(ResText(1011));
    Item12->setText(ResText(1011));
    // Pop-up menus have no title to read; a screen reader names them by their list.
    PopupMenu1->setAccessibleName(GroupBox1->title());
    PopupMenu2->setAccessibleName(GroupBox2->title());

    PageControl1->setCurrentWidget(TabSheet1);

    common::LocateHelpFile(*this);

    BrokerName.clear();
    CurrentComponent.clear();
    CurrentService.clear();

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area = screen->availableGeometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
    show(); // runs FormShow

    DebugMode = ReadCommandLine(Args, this);
}

void TForm1::showEvent(QShowEvent* Event) {
    TWDXMntrStdForm::showEvent(Event);
    if (!FShown) {
        FShown = true;
        FormShow();
    }
}

void TForm1::FormShow() {
    Edit2->setText(QStringLiteral("10"));
    // Read once: later changes to the store show at the next start.
    for (auto scope : {brokerstore::scUser, brokerstore::scSystem})
        for (const std::string& name : brokerstore::ListBrokerNames(scope))
            ComboBox1->addItem(QString::fromStdString(name));
}

void TForm1::closeEvent(QCloseEvent* Event) {
    RunHandler([this] { FormClose(); });
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
