#include "MainForm.h"

#include "brokerstore/BrokerStore.h"
#include "clntadmin/BrokerEditForm.h"
#include "clntadmin/BrokerRows.h"
#include "clntadmin/ClntAdminHelpTopics.h"
#include "clntadmin/ShortNameCheck.h"
#include "common/help/HelpRouter.h"
#include "common/widgets/FigureLabel.h"
#include "common/widgets/ListView.h"
#include "common/widgets/MessageService.h"
#include "ui_MainForm.h"

#include <QAction>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>

namespace wdx::clntadmin {

TForm1::TForm1(std::shared_ptr<const TShortNameSetting> Setting, QWidget* Parent)
    : TWDXClntStdForm(Parent), ui(std::make_unique<Ui::TForm1>()), FShortNameSetting(std::move(Setting)) {
    if (!FShortNameSetting)
        FShortNameSetting = std::make_shared<TStoreShortNameSetting>();
    // Fixed size, a system menu and a minimize button, no maximize button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    ui->setupUi(this);
    SetPosition(TPosition::ScreenCenter);
    SetHelpContext(hc::MainWindow);
    // The page's tab is a heading here, not a stop of the keyboard order.
    ui->PageControl1->tabBar()->setFocusPolicy(Qt::NoFocus);
    ui->ListView1->SetHideSelection(false);
    HelpRouter1 = common::CreateHelpRouter1(this);
    BindHandlers();
    FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::BindHandlers() {
    OnEvent(ui->ListView1->selectionModel(), &QItemSelectionModel::selectionChanged,
            [this] { ListView1SelectItem(); });
    connect(ui->ListView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& Pos) {
        ui->PopupMenu1->popup(ui->ListView1->viewport()->mapToGlobal(Pos));
    });
    ui->ListView1->installEventFilter(this);
    ui->ListView1->viewport()->installEventFilter(this);
    OnEvent(ui->Button1, &QPushButton::clicked, [this] { AddListViewEntry(); });
    OnEvent(ui->Button2, &QPushButton::clicked, [this] { EditListViewEntry(); });
    OnEvent(ui->Button3, &QPushButton::clicked, [this] { DeleteListViewEntry(); });
    OnEvent(ui->CloseBtn, &QPushButton::clicked, [this] { CloseBtnClick(); });
    OnEvent(ui->Item11, &QAction::triggered, [this] { AddListViewEntry(); });
    OnEvent(ui->Item21, &QAction::triggered, [this] { EditListViewEntry(); });
    OnEvent(ui->Item31, &QAction::triggered, [this] { DeleteListViewEntry(); });
    OnEvent(ui->HelpBtn, &QPushButton::clicked, [this] { HelpBtnClick(); });
}

void TForm1::FormCreate() {
    setWindowIcon(LoadProgramIcon(QStringLiteral("ICON_VKR")));

    setWindowTitle(ResText(1002));
    ui->CloseBtn->setText(ResText(1023));
    ui->HelpBtn->setText(ResText(1027));
    ui->Button1->setText(ResText(1024));
    ui->Button2->setText(ResText(1025));
    ui->Button3->setText(ResText(1026));
    LoadHeaderImage(ui->Image1);
    ui->PageControl1->setTabText(ui->PageControl1->indexOf(ui->TabSheet1), ResText(1031));
    ui->Label1->setText(ResText(1002));
    ui->Label2->setText(ResText(1041));
    ui->Label3->setText(ResText(1001));
    for (QLabel* l : {ui->Label1, ui->Label2, static_cast<QLabel*>(ui->Label3)})
        l->adjustSize();
    ui->GroupBox1->setTitle(ResText(1032));
    ui->ListView1->SetColumns({ResText(1035), ResText(1036), ResText(1037), ResText(1038), ResText(1039)},
                              {70, 70, 50, 50, 55});
    ui->Item11->setText(ResText(1011));
    // The pop-up menu has no title to read; a screen reader names it by its list.
    ui->PopupMenu1->setAccessibleName(ui->GroupBox1->title());
    ui->Item21->setText(ResText(1012));
    ui->Item31->setText(ResText(1013));
    ui->ListView1->setAccessibleName(ui->GroupBox1->title());
    ui->Image1->setAccessibleName(ui->Label1->text());
    // The text beside "Type:" is read as itself, labelled by it.
    common::TieFigure(ui->Label2, ui->Label3);

    ui->PageControl1->setCurrentWidget(ui->TabSheet1);

    common::LocateHelpFile(*this, brokerstore::ReadClientDir);

    ui->Button1->setEnabled(true);
    ui->Button2->setEnabled(false);
    ui->Button3->setEnabled(false);
    ui->Item11->setEnabled(true);
    ui->Item21->setEnabled(false);
    ui->Item31->setEnabled(false);
}

void TForm1::FormShow() {
    // The rows are there before the window is first drawn.
    FillList();
}

void TForm1::setVisible(bool Visible) {
    TWDXClntStdForm::setVisible(Visible);
    // The first showing ends with the short-name check, once the window is
    // on the screen, so that a warning has the filled list behind it.
    if (Visible && Shown() && !FChecked) {
        FChecked = true;
        common::RunHandler([this] { CheckShortNames(); });
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
    ui->ListView1->Items()->Assign(std::move(rows));
}

void TForm1::CheckShortNames() {
    clntadmin::CheckShortNames(this, *FShortNameSetting);
}

void TForm1::closeEvent(QCloseEvent* Event) {
    common::RunHandler([this] { FormClose(); });
    TWDXClntStdForm::closeEvent(Event);
}

void TForm1::FormClose() {
    // However the window closes, it is freed, and its closing ends the program.
    setAttribute(Qt::WA_DeleteOnClose);
}

void TForm1::HelpBtnClick() {
    common::HelpBtnClick(*this, hc::HelpButtonMessages);
}

void TForm1::CloseBtnClick() {
    close();
}

void TForm1::ListView1SelectItem() {
    const bool selected = ui->ListView1->SelectedRow() >= 0;
    ui->Button1->setEnabled(true);
    ui->Button2->setEnabled(selected);
    ui->Button3->setEnabled(selected);
    // The menu offers Add only while no row is selected.
    ui->Item11->setEnabled(!selected);
    ui->Item21->setEnabled(selected);
    ui->Item31->setEnabled(selected);
}

bool TForm1::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched == ui->ListView1 && Event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(Event);
        // The keypad's Delete is the same key; only Shift, Ctrl and Alt count.
        bool handled = false;
        common::RunHandler([&] {
            handled = ListView1KeyDown(key->key(), key->modifiers() & ~Qt::KeypadModifier,
                                       QGuiApplication::mouseButtons());
        });
        if (handled)
            return true;
    } else if (Watched == ui->ListView1->viewport()) {
        if (Event->type() == QEvent::MouseButtonPress) {
            // A click beside the rows clears the selection, so that the
            // menu's Add can be reached again.
            auto* mouse = static_cast<QMouseEvent*>(Event);
            if (!ui->ListView1->indexAt(mouse->position().toPoint()).isValid())
                ui->ListView1->SelectRow(-1);
        } else if (Event->type() == QEvent::MouseButtonDblClick &&
                   static_cast<QMouseEvent*>(Event)->button() == Qt::LeftButton) {
            common::RunHandler([this] { ListView1DblClick(); });
            return true;
        }
    }
    return TWDXClntStdForm::eventFilter(Watched, Event);
}

void TForm1::ListView1DblClick() {
    if (ui->ListView1->SelectedRow() >= 0)
        EditListViewEntry();
    else
        AddListViewEntry();
}

void TForm1::AddListViewEntry() {
    ShowEditDialog(false);
}

void TForm1::EditListViewEntry() {
    // There is nothing to edit without a selected row.
    if (ui->ListView1->SelectedRow() >= 0)
        ShowEditDialog(true);
}

void TForm1::ShowEditDialog(bool EditMode) {
    // The dialog writes the store and updates the list itself; the list is
    // not read again afterwards.
    auto dialog = std::make_unique<TForm2>(this);
    dialog->SetListView(ui->ListView1);
    dialog->SetEditMode(EditMode);
    dialog->exec();
}

bool TForm1::ListView1KeyDown(int Key, Qt::KeyboardModifiers Shift, Qt::MouseButtons Buttons) {
    if (Key != Qt::Key_Delete || Shift != Qt::NoModifier || Buttons != Qt::NoButton ||
        ui->ListView1->SelectedRow() < 0)
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
    const int row = ui->ListView1->SelectedRow();
    if (row < 0)
        return;
    const QString name = ui->ListView1->Items()->Caption(row);
    const brokerstore::TBrokerScope scope =
        ScopeOfTypeText(*this, ui->ListView1->Items()->Text(row, colType));
    if (!brokerstore::DeleteBrokerDefinition(scope, StoreText(name))) {
        common::ShowMessage({this, ResText(2003), name, common::TMsgIcon::Error, common::TMsgButtons::Ok});
        return;
    }
    ui->ListView1->Items()->Delete(row);
    // The list would select the next row; a delete leaves none selected.
    ui->ListView1->SelectRow(-1);
    ListView1SelectItem();
}

} // namespace wdx::clntadmin
