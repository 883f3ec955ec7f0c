#include "BrokerEditForm.h"

#include "brokerstore/BrokerStore.h"
#include "clntadmin/BrokerRows.h"
#include "common/widgets/ListView.h"
#include "common/widgets/MessageService.h"
#include "common/widgets/RadioGroup.h"
#include "common/widgets/UpDown.h"
#include "ui_BrokerEditForm.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <tuple>

namespace wdx::clntadmin {

namespace {
// A whole signed 32-bit number in decimal: an optional sign and digits,
// nothing else (no blanks, no other notation). Leading zeros are allowed.
bool IsWholeNumber(const QString& Text) {
    const std::string s = Text.toStdString();
    const char* first = s.data();
    const char* last = first + s.size();
    if (first != last && *first == '+') {
        ++first;
        if (first == last || *first == '-')
            return false;
    }
    std::int32_t value = 0;
    auto [end, ec] = std::from_chars(first, last, value, 10);
    return ec == std::errc() && end == last;
}

// Text the store keeps exactly: nothing the UTF-8 conversion would replace
// (an unpaired surrogate, say) and no NUL.
bool IsStorable(const QString& Text) {
    return !Text.contains(QChar(0)) && QString::fromUtf8(Text.toUtf8()) == Text;
}
} // namespace

TForm2::TForm2(QWidget* Parent) : TWDXClntStdForm(Parent), ui(std::make_unique<Ui::TForm2>()) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::WindowContextHelpButtonHint);
    ui->setupUi(this);
    SetPosition(TPosition::ScreenCenter);
    SetUpControls();
    FormCreate();
}

TForm2::~TForm2() = default;

void TForm2::SetUpControls() {
    for (auto [upDown, min, max, start] :
         {std::tuple{ui->UpDown1, 1025, 32767, 7563}, std::tuple{ui->UpDown2, 0, 1000, 0}}) {
        upDown->SetRange(min, max);
        upDown->SetIncrement(1);
        upDown->SetWrap(false);
        upDown->SyncPosition(start);
    }
    // Packed into the 49 pixels its definition gives it.
    ui->RadioGroup1->layout()->setContentsMargins(8, 2, 8, 2);
    ui->RadioGroup1->SetColumns(2);
    ui->RadioGroup1->SetItems({QStringLiteral("User"), QStringLiteral("System")});
    // The stand-in font runs wider than the original one: never cut a text.
    for (QCheckBox* c : {ui->chkbConnectionPooling, ui->chkbComms, ui->chkbCalls})
        c->resize(std::max(c->width(), c->sizeHint().width()), c->height());
    SetCancelButton(ui->CancelBtn);

    // The radio items exist only now, so the keyboard order is set here.
    QWidget* order[] = {ui->Edit1,
                        ui->Edit2,
                        ui->Edit3,
                        ui->UpDown1,
                        ui->Edit4,
                        ui->UpDown2,
                        ui->RadioGroup1->Button(0),
                        ui->RadioGroup1->Button(1),
                        ui->chkbConnectionPooling,
                        ui->chkbComms,
                        ui->chkbCalls,
                        ui->OKBtn,
                        ui->CancelBtn};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    for (QLineEdit* e : {ui->Edit1, ui->Edit2, ui->Edit3, ui->Edit4})
        OnEvent(e, &QLineEdit::textEdited, [this] { Edit1Change(); });
    for (common::TUpDown* u : {ui->UpDown1, ui->UpDown2})
        OnEvent(u, &common::TUpDown::Click, [this, u] { UpDown1Click(u); });
    OnEvent(ui->chkbConnectionPooling, &QCheckBox::clicked, [this] { chkbConnectionPoolingClick(); });
    OnEvent(ui->chkbComms, &QCheckBox::clicked, [this] { chkbCommsClick(); });
    OnEvent(ui->chkbCalls, &QCheckBox::clicked, [this] { chkbCallsClick(); });
    OnEvent(ui->OKBtn, &QPushButton::clicked, [this] { OKBtnClick(); });
    OnEvent(ui->CancelBtn, &QPushButton::clicked, [this] { CancelBtnClick(); });
}

void TForm2::FormCreate() {
    ui->OKBtn->setText(ResText(1021));
    ui->CancelBtn->setText(ResText(1022));
    LoadHeaderImage(ui->Image1);
    // The header shows the program's icon; a screen reader names it as the
    // list window names its own, by the program's title.
    ui->Image1->setAccessibleName(ResText(1002));
    ui->Label1->setText(ResText(1042));
    ui->Label2->setText(ResText(1043));
    ui->Label3->setText(ResText(1044));
    ui->Label4->setText(ResText(1045));
    for (QLabel* l : {ui->Label1, ui->Label2, ui->Label3, ui->Label4})
        l->adjustSize();
    ui->Label1->setBuddy(ui->Edit1);
    ui->Label2->setBuddy(ui->Edit2);
    ui->Label3->setBuddy(ui->Edit3);
    ui->Label4->setBuddy(ui->Edit4);
    ui->Edit1->setAccessibleName(ui->Label1->text());
    ui->Edit2->setAccessibleName(ui->Label2->text());
    ui->Edit3->setAccessibleName(ui->Label3->text());
    ui->Edit4->setAccessibleName(ui->Label4->text());
    ui->UpDown1->setAccessibleName(ui->Label3->text());
    ui->UpDown2->setAccessibleName(ui->Label4->text());

    ui->Edit1->setReadOnly(false);
    for (QLineEdit* e : {ui->Edit1, ui->Edit2, ui->Edit3, ui->Edit4})
        e->clear();

    ui->RadioGroup1->setTitle(ResText(1040));
    ui->RadioGroup1->SetItems({ResText(1047), ResText(1046)});
    ui->RadioGroup1->SetItemIndex(0);
    FLoadedScope = 0;
}

void TForm2::FormShow() {
    // The up-downs are bound now: each writes its position into its field
    // (the new-mode starting values); edit mode then shows the row's texts.
    for (common::TUpDown* u : {ui->UpDown1, ui->UpDown2}) {
        u->SetAssociate(u == ui->UpDown1 ? ui->Edit3 : ui->Edit4);
        u->SetPosition(u->Position());
    }
    if (!FEditMode) {
        setWindowTitle(ResText(1033));
        // OK always checks and writes a new definition.
        FChanged = true;
        ui->Edit1->setFocus();
        return;
    }

    setWindowTitle(ResText(1034));
    // A definition keeps its name here.
    ui->Edit1->setReadOnly(true);
    ui->Edit1->setFocusPolicy(Qt::ClickFocus);
    FRow = FListView ? FListView->SelectedRow() : -1;
    if (FRow >= 0) {
        const common::TListItems* items = FListView->Items();
        ui->Edit1->setText(items->Caption(FRow));
        ui->Edit2->setText(items->Text(FRow, colHostName));
        ui->Edit3->setText(items->Text(FRow, colPort));
        ui->Edit4->setText(items->Text(FRow, colTimeOut));
        if (ScopeOfTypeText(*this, items->Text(FRow, colType)) == brokerstore::scSystem) {
            ui->RadioGroup1->SetItemIndex(1);
            FLoadedScope = 1;
        }
        LoadOptions(ui->Edit1->text());
    }
    SyncSpinPosition(ui->UpDown1);
    SyncSpinPosition(ui->UpDown2);
    ui->Edit2->setFocus();
    // Last: loading the options must not count as a change.
    FChanged = false;
}

void TForm2::LoadOptions(const QString& Name) {
    const auto scope = static_cast<brokerstore::TBrokerScope>(ui->RadioGroup1->ItemIndex());
    brokerstore::TBrokerOptions options;
    try {
        // A key that cannot be read leaves the three boxes off.
        if (brokerstore::ReadBrokerOptions(scope, StoreText(Name), options)) {
            ui->chkbConnectionPooling->setChecked(options.ConnectionPooling);
            ui->chkbComms->setChecked(options.LogComms);
            ui->chkbCalls->setChecked(options.LogCalls);
        }
    } catch (const brokerstore::EBrokerStoreError& e) {
        // The stored "LogLevel" is no number. The dialog still opens with
        // the logging boxes off; the stored text stays unless OK writes.
        ui->chkbConnectionPooling->setChecked(brokerstore::ReadBrokerPooling(scope, StoreText(Name)));
        ui->chkbComms->setChecked(false);
        ui->chkbCalls->setChecked(false);
        common::ShowMessage({this,
                             QStringLiteral("Cannot read the logging options: %1 Communications and Function "
                                            "calls are shown off; the stored value is replaced only when the "
                                            "definition is saved with OK.")
                                 .arg(QString::fromUtf8(e.what())),
                             Name, common::TMsgIcon::Warning, common::TMsgButtons::Ok});
    }
}

void TForm2::SyncSpinPosition(common::TUpDown* UpDown) {
    // The arrows step on from the value shown; the text itself stays as
    // stored (a leading zero, or a value outside the range, is kept).
    bool ok = false;
    const int value = UpDown->Associate()->text().toInt(&ok, 10);
    if (ok && IsWholeNumber(UpDown->Associate()->text()))
        UpDown->SyncPosition(value);
}

void TForm2::Edit1Change() {
    FChanged = true;
}

void TForm2::UpDown1Click(common::TUpDown* UpDown) {
    UpDown->Associate()->setModified(true);
    FChanged = true;
}

void TForm2::chkbConnectionPoolingClick() {
    FChanged = true;
}
void TForm2::chkbCommsClick() {
    FChanged = true;
}
void TForm2::chkbCallsClick() {
    FChanged = true;
}

bool TForm2::NameTakenInScope(int Scope) const {
    const common::TListItems* items = FListView->Items();
    const auto scope = static_cast<brokerstore::TBrokerScope>(Scope);
    for (int row = 0; row < items->Count(); ++row)
        if (row != FRow && SameBrokerName(items->Caption(row), ui->Edit1->text()) &&
            ScopeOfTypeText(*this, items->Text(row, colType)) == scope)
            return true;
    return false;
}

TForm2::TCheckResult TForm2::CheckEntries() const {
    const QString invalid = ResText(2004);
    auto fail = [](QWidget* Focus, QString Message) {
        return TCheckResult{false, Focus, std::move(Message)};
    };

    if (ui->Edit1->text().isEmpty())
        return fail(ui->Edit1, invalid);
    // A "\" would make nested keys, of which the list shows only the first.
    if (ui->Edit1->text().contains(QLatin1Char('\\')))
        return fail(ui->Edit1, invalid + QStringLiteral(" A Component Broker name cannot contain \"\\\"."));
    if (!IsStorable(ui->Edit1->text()) || !brokerstore::IsValidBrokerName(StoreText(ui->Edit1->text())))
        return fail(ui->Edit1, invalid + QStringLiteral(" The name holds characters that cannot be stored."));
    if (ui->Edit2->text().isEmpty())
        return fail(ui->Edit2, invalid);
    if (!IsStorable(ui->Edit2->text()))
        return fail(ui->Edit2,
                    invalid + QStringLiteral(" The host name holds characters that cannot be stored."));
    if (ui->Edit3->text().isEmpty())
        return fail(ui->Edit3, invalid);
    if (ui->Edit4->text().isEmpty())
        return fail(ui->Edit4, invalid);

    const QString duplicate = ResText(2006);
    if (!FEditMode && FListView) {
        const common::TListItems* items = FListView->Items();
        for (int row = 0; row < items->Count(); ++row)
            if (SameBrokerName(items->Caption(row), ui->Edit1->text()))
                return fail(ui->Edit1, duplicate);
    }
    // Moving a definition onto another one of its name would overwrite that
    // one's values without a word.
    const int scope = ui->RadioGroup1->ItemIndex();
    if (FEditMode && FListView && scope != FLoadedScope && NameTakenInScope(scope))
        return fail(ui->RadioGroup1->Button(scope),
                    duplicate + QStringLiteral(" A definition of this name exists under %1 already.")
                                    .arg(ui->RadioGroup1->Button(scope)->text()));

    const QString notInteger = ResText(2007);
    if (!IsWholeNumber(ui->Edit3->text()))
        return fail(ui->Edit3, notInteger);
    if (!IsWholeNumber(ui->Edit4->text()))
        return fail(ui->Edit4, notInteger);
    return {};
}

void TForm2::OKBtnClick() {
    const int scope = ui->RadioGroup1->ItemIndex();
    if (!FChanged && scope == FLoadedScope) {
        accept();
        return;
    }

    const TCheckResult check = CheckEntries();
    if (!check.Passed) {
        check.Focus->setFocus();
        common::ShowMessage(
            {this, check.Message, windowTitle(), common::TMsgIcon::Error, common::TMsgButtons::Ok});
        return;
    }

    const QString failText = ResText(FEditMode ? 2002 : 2001);
    brokerstore::TBrokerDefinition def;
    def.Name = StoreText(ui->Edit1->text());
    def.Scope = static_cast<brokerstore::TBrokerScope>(scope);
    def.HostName = StoreText(ui->Edit2->text());
    def.Port = StoreText(ui->Edit3->text());
    def.TimeOut = StoreText(ui->Edit4->text());
    def.ConnectionPooling = ui->chkbConnectionPooling->isChecked();
    def.LogComms = ui->chkbComms->isChecked();
    def.LogCalls = ui->chkbCalls->isChecked();
    // A scope change writes the new key first and removes the old one only
    // once that has succeeded.
    brokerstore::TScopeChange result = brokerstore::TScopeChange::Moved;
    if (FEditMode && FRow >= 0 && scope != FLoadedScope)
        result = brokerstore::ChangeBrokerScope(def, static_cast<brokerstore::TBrokerScope>(FLoadedScope));
    else if (!brokerstore::WriteBrokerDefinition(def))
        result = brokerstore::TScopeChange::WriteFailed;
    if (result == brokerstore::TScopeChange::WriteFailed) {
        common::ShowMessage(
            {this, failText, ui->Edit1->text(), common::TMsgIcon::Error, common::TMsgButtons::Ok});
        return;
    }
    if (result == brokerstore::TScopeChange::DeleteFailed) {
        common::ShowMessage({this, ResText(2003), FListView->Items()->Caption(FRow), common::TMsgIcon::Error,
                             common::TMsgButtons::Ok});
        return;
    }

    const QString type = TypeTextOf(*this, def.Scope);
    if (FListView) {
        common::TListItems* items = FListView->Items();
        if (!FEditMode) {
            items->Add({ui->Edit1->text(), ui->Edit2->text(), ui->Edit3->text(), ui->Edit4->text(), type});
        } else if (FRow >= 0) {
            items->SetText(FRow, colHostName, ui->Edit2->text());
            items->SetText(FRow, colPort, ui->Edit3->text());
            items->SetText(FRow, colTimeOut, ui->Edit4->text());
            items->SetText(FRow, colType, type);
        }
    }
    accept();
}

void TForm2::CancelBtnClick() {
    if (!FEditMode && FListView)
        FListView->SelectRow(-1);
    reject();
}

} // namespace wdx::clntadmin
