#include "MainForm.h"

#include "brokerstore/BrokerStore.h"
#include "clntadmin/BrokerEditForm.h"
#include "clntadmin/BrokerRows.h"
#include "clntadmin/ShortNameCheck.h"
#include "common/FormControls.h"
#include "common/help/HelpFile.h"
#include "common/help/HelpRouter.h"
#include "common/widgets/ListView.h"
#include "common/widgets/MessageService.h"

#include <QAction>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>

namespace wdx::clntadmin {

namespace {
using common::Named;

QLabel* Label(QWidget* Parent, const char* Name, int Left, int Top) {
    return common::NamedLabel(Parent, Name, Left, Top);
}

QFrame* Bevel(QWidget* Parent, const char* Name, int Left, int Top, int Width) {
    auto* f = common::NamedBevel(Parent, Name);
    f->setGeometry(Left, Top, Width, 2);
    return f;
}

QPushButton* Button(QWidget* Parent, const char* Name, int Left) {
    auto* b = Named(new QPushButton(QLatin1String(Name), Parent), Name);
    b->setGeometry(Left, 382, 60, 25);
    // A main window has no default button.
    b->setAutoDefault(false);
    return b;
}
} // namespace

TForm1::TForm1(std::shared_ptr<const TShortNameSetting> Setting, QWidget* Parent)
    : TWDXClntStdForm(Parent), FShortNameSetting(std::move(Setting)) {
    if (!FShortNameSetting)
        FShortNameSetting = std::make_shared<TStoreShortNameSetting>();
    CreateControls();
    FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::CreateControls() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("WDXClntAdminForm "));
    // Fixed size, a system menu and a minimize button, no maximize button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(ClientWidth, ClientHeight);
    SetHelpContext(HelpContextId);

    PageControl1 = Named(new QTabWidget(this), "PageControl1");
    PageControl1->setGeometry(5, 5, 352, 369);
    // The page's tab is a heading here, not a stop of the keyboard order.
    PageControl1->setFocusPolicy(Qt::NoFocus);
    PageControl1->tabBar()->setFocusPolicy(Qt::NoFocus);
    TabSheet1 = Named(new QWidget(PageControl1), "TabSheet1");
    PageControl1->addTab(TabSheet1, QStringLiteral("TabSheet1"));

    Image1 = Named(new QLabel(TabSheet1), "Image1");
    Image1->setGeometry(8, 8, 33, 33);
    Label1 = Label(TabSheet1, "Label1", 96, 16);
    Bevel1 = Bevel(TabSheet1, "Bevel1", 8, 40, 329);
    Label2 = Label(TabSheet1, "Label2", 8, 56);
    Label3 = Label(TabSheet1, "Label3", 96, 56);
    Bevel2 = Bevel(TabSheet1, "Bevel2", 8, 72, 329);

    GroupBox1 = Named(new QGroupBox(QStringLiteral("GroupBox1"), TabSheet1), "GroupBox1");
    GroupBox1->setGeometry(8, 88, 329, 201);
    ListView1 = Named(new common::TListView(GroupBox1), "ListView1");
    ListView1->setGeometry(8, 16, 313, 177);
    ListView1->SetHideSelection(false);
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);

    Button1 = Button(this, "Button1", 5);
    Button2 = Button(this, "Button2", 71);
    Button3 = Button(this, "Button3", 136);
    CloseBtn = Button(this, "CloseBtn", 233);
    HelpBtn = Button(this, "HelpBtn", 298);

    PopupMenu1 = Named(new QMenu(this), "PopupMenu1");
    Item11 = Named(PopupMenu1->addAction(QStringLiteral("Item11")), "Item11");
    Item21 = Named(PopupMenu1->addAction(QStringLiteral("Item21")), "Item21");
    Item31 = Named(PopupMenu1->addAction(QStringLiteral("Item31")), "Item31");

    QWidget* order[] = {ListView1, Button1, Button2, Button3, CloseBtn, HelpBtn};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { ListView1SelectItem(); });
    connect(ListView1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& Pos) { PopupMenu1->popup(ListView1->viewport()->mapToGlobal(Pos)); });
    ListView1->installEventFilter(this);
    ListView1->viewport()->installEventFilter(this);
    connect(Button1, &QPushButton::clicked, this, [this] { AddListViewEntry(); });
    connect(Button2, &QPushButton::clicked, this, [this] { EditListViewEntry(); });
    connect(Button3, &QPushButton::clicked, this, [this] { DeleteListViewEntry(); });
    connect(CloseBtn, &QPushButton::clicked, this, [this] { CloseBtnClick(); });
    connect(Item11, &QAction::triggered, this, [this] { AddListViewEntry(); });
    connect(Item21, &QAction::triggered, this, [this] { EditListViewEntry(); });
    connect(Item31, &QAction::triggered, this, [this] { DeleteListViewEntry(); });
    connect(HelpBtn, &QPushButton::clicked, this, [this] { HelpBtnClick(); });
    HelpRouter1 = common::CreateHelpRouter1(this);
}

void TForm1::FormCreate() {
    setWindowIcon(LoadProgramIcon(QStringLiteral("ICON_VKR")));

    setWindowTitle(ResText(1002));
    CloseBtn->setText(ResText(1023));
    HelpBtn->setText(ResText(1027));
    Button1->setText(ResText(1024));
    Button2->setText(ResText(1025));
    Button3->setText(ResText(1026));
    LoadHeaderImage(Image1);
    PageControl1->setTabText(PageControl1->indexOf(TabSheet1), ResText(1031));
    Label1->setText(ResText(1002));
    Label2->setText(ResText(1041));
    Label3->setText(ResText(1001));
    for (QLabel* l : {Label1, Label2, Label3})
        l->adjustSize();
    GroupBox1->setTitle(ResText(1032));
    ListView1->SetColumns({ResText(1035), ResText(1036), ResText(1037), ResText(1038), ResText(1039)},
                          {70, 70, 50, 50, 55});
    Item11->setText(ResText(1011));
    // The pop-up menu has no title to read; a screen reader names it by its list.
    PopupMenu1->setAccessibleName(GroupBox1->title());
    Item21->setText(ResText(1012));
    Item31->setText(ResText(1013));
    ListView1->setAccessibleName(GroupBox1->title());
    Image1->setAccessibleName(Label1->text());

    PageControl1->setCurrentWidget(TabSheet1);

    common::LocateHelpFile(*this);

    Button1->setEnabled(true);
    Button2->setEnabled(false);
    Button3->setEnabled(false);
    Item11->setEnabled(true);
    Item21->setEnabled(false);
    Item31->setEnabled(false);

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area = screen->availableGeometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
}

void TForm1::showEvent(QShowEvent* Event) {
    TWDXClntStdForm::showEvent(Event);
    if (!FShown) {
        FShown = true;
        FormShow();
    }
}

void TForm1::FormShow() {
    // The rows are there before the window is first drawn.
    FillList();
}

void TForm1::setVisible(bool Visible) {
    TWDXClntStdForm::setVisible(Visible);
    // The first showing ends with the short-name check, once the window is
    // on the screen, so that a warning has the filled list behind it.
    if (Visible && FShown && !FChecked) {
        FChecked = true;
        CheckShortNames();
    }
}

void TForm1::FillList() {
    // The store is read once; the list is this window's copy from then on.
    // Each scope's names and summaries come from one read of the store: the
    // same rows as the names followed by one summary each, read under one
    // lock instead of one per broker.
    std::vector<QStringList> rows;
    for (auto scope : {brokerstore::scUser, brokerstore::scSystem}) {
        const QString type = TypeTextOf(*this, scope);
        for (const brokerstore::TBrokerListEntry& e : brokerstore::ReadBrokerList(scope)) {
            const brokerstore::TBrokerSummary& s = e.Summary;
            rows.push_back(
                {FromStore(e.Name), FromStore(s.HostName), FromStore(s.Port), FromStore(s.TimeOut), type});
        }
    }
    ListView1->Items()->Assign(std::move(rows));
}

void TForm1::CheckShortNames() {
    clntadmin::CheckShortNames(this, *FShortNameSetting);
}

void TForm1::closeEvent(QCloseEvent* Event) {
    FormClose();
    TWDXClntStdForm::closeEvent(Event);
}

void TForm1::FormClose() {
    // However the window closes, it is freed, and its closing ends the program.
    setAttribute(Qt::WA_DeleteOnClose);
}

void TForm1::HelpBtnClick() {
    common::HelpBtnClick(*this, common::ClntAdminHelpMessages);
}

void TForm1::CloseBtnClick() {
    close();
}

void TForm1::ListView1SelectItem() {
    const bool selected = ListView1->SelectedRow() >= 0;
    Button1->setEnabled(true);
    Button2->setEnabled(selected);
    Button3->setEnabled(selected);
    // The menu offers Add only while no row is selected.
    Item11->setEnabled(!selected);
    Item21->setEnabled(selected);
    Item31->setEnabled(selected);
}

bool TForm1::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched == ListView1 && Event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(Event);
        // The keypad's Delete is the same key; only Shift, Ctrl and Alt count.
        if (ListView1KeyDown(key->key(), key->modifiers() & ~Qt::KeypadModifier,
                             QGuiApplication::mouseButtons()))
            return true;
    } else if (Watched == ListView1->viewport()) {
        if (Event->type() == QEvent::MouseButtonPress) {
            // A click beside the rows clears the selection, so that the
            // menu's Add can be reached again.
            auto* mouse = static_cast<QMouseEvent*>(Event);
            if (!ListView1->indexAt(mouse->position().toPoint()).isValid())
                ListView1->SelectRow(-1);
        } else if (Event->type() == QEvent::MouseButtonDblClick &&
                   static_cast<QMouseEvent*>(Event)->button() == Qt::LeftButton) {
            ListView1DblClick();
            return true;
        }
    }
    return TWDXClntStdForm::eventFilter(Watched, Event);
}

void TForm1::ListView1DblClick() {
    if (ListView1->SelectedRow() >= 0)
        EditListViewEntry();
    else
        AddListViewEntry();
}

void TForm1::AddListViewEntry() {
    ShowEditDialog(false);
}

void TForm1::EditListViewEntry() {
    // There is nothing to edit without a selected row.
    if (ListView1->SelectedRow() >= 0)
        ShowEditDialog(true);
}

void TForm1::ShowEditDialog(bool EditMode) {
    // The dialog writes the store and updates the list itself; the list is
    // not read again afterwards.
    auto dialog = std::make_unique<TForm2>(this);
    dialog->SetListView(ListView1);
    dialog->SetEditMode(EditMode);
    dialog->exec();
}

bool TForm1::ListView1KeyDown(int Key, Qt::KeyboardModifiers Shift, Qt::MouseButtons Buttons) {
    if (Key != Qt::Key_Delete || Shift != Qt::NoModifier || Buttons != Qt::NoButton ||
        ListView1->SelectedRow() < 0)
        return false;
    DeleteSelectedEntry();
    return true;
}

void TForm1::DeleteListViewEntry() {
    ListView1KeyDown(Qt::Key_Delete, Qt::NoModifier, Qt::NoButton);
}

void TForm1::DeleteSelectedEntry() {
    if (common::ShowMessage({this, ResText(1006), windowTitle(), common::TMsgIcon::Warning,
                             common::TMsgButtons::YesNo}) != common::TMsgAnswer::Yes)
        return;
    const int row = ListView1->SelectedRow();
    if (row < 0)
        return;
    const QString name = ListView1->Items()->Caption(row);
    const brokerstore::TBrokerScope scope = ScopeOfTypeText(*this, ListView1->Items()->Text(row, colType));
    if (!brokerstore::DeleteBrokerDefinition(scope, StoreText(name))) {
        common::ShowMessage({this, ResText(2003), name, common::TMsgIcon::Error, common::TMsgButtons::Ok});
        return;
    }
    ListView1->Items()->Delete(row);
    // The list would select the next row; a delete leaves none selected.
    ListView1->SelectRow(-1);
    ListView1SelectItem();
}

} // namespace wdx::clntadmin
