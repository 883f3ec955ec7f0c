#include "BrokerEditForm.h"

#include "brokerstore/BrokerStore.h"
#include "clntadmin/BrokerRows.h"
#include "clntadmin/RadioGroup.h"
#include "common/FormControls.h"
#include "common/widgets/ListView.h"
#include "common/widgets/MessageService.h"
#include "common/widgets/UpDown.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <algorithm>
#include <charconv>
#include <cstdint>

namespace wdx::clntadmin {

namespace {
using common::Named;

QLabel* Label(QWidget* Parent, const char* Name, int Left, int Top) {
    return common::NamedLabel(Parent, Name, Left, Top);
}

QLineEdit* Edit(QWidget* Parent, const char* Name, int Left, int Top, int Width) {
    auto* e = Named(new QLineEdit(Parent), Name);
    e->setGeometry(Left, Top, Width, 21);
    return e;
}

QFrame* Bevel(QWidget* Parent, const char* Name, int Top) {
    auto* f = common::NamedBevel(Parent, Name);
    f->setGeometry(8, Top, 217, 2);
    return f;
}

common::TUpDown* UpDown(QWidget* Parent, const char* Name, QLineEdit* Buddy, int Width, int Min, int Max,
                        int Start) {
    auto* u = Named(new common::TUpDown(Parent), Name);
    u->setGeometry(Buddy->x() + Buddy->width(), Buddy->y(), Width, Buddy->height());
    u->SetRange(Min, Max);
    u->SetIncrement(1);
    u->SetWrap(false);
    u->SyncPosition(Start);
    return u;
}

QCheckBox* CheckBox(QWidget* Parent, const char* Name, const char* Text, QRect Place) {
    auto* c = Named(new QCheckBox(QLatin1String(Text), Parent), Name);
    // The stand-in font runs wider than the original one: never cut a text.
    Place.setWidth(std::max(Place.width(), c->sizeHint().width()));
    c->setGeometry(Place);
    return c;
}

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

TForm2::TForm2(QWidget* Parent) : TWDXClntStdForm(Parent) {
    CreateControls();
    FormCreate();
}

TForm2::~TForm2() = default;

void TForm2::CreateControls() {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("WDXClntServForm"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::WindowContextHelpButtonHint);
    setFixedSize(ClientWidth, ClientHeight);

    Panel1 = Named(new QFrame(this), "Panel1");
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Raised);
    Panel1->setGeometry(8, 8, 233, 353);

    Image1 = Named(new QLabel(Panel1), "Image1");
    Image1->setGeometry(8, 8, 33, 33);
    Bevel1 = Bevel(Panel1, "Bevel1", 40);
    Label1 = Label(Panel1, "Label1", 8, 56);
    Edit1 = Edit(Panel1, "Edit1", 104, 52, 121);
    Label2 = Label(Panel1, "Label2", 8, 80);
    Edit2 = Edit(Panel1, "Edit2", 104, 76, 121);
    Label3 = Label(Panel1, "Label3", 8, 104);
    Edit3 = Edit(Panel1, "Edit3", 104, 100, 40);
    UpDown1 = UpDown(Panel1, "UpDown1", Edit3, 15, 1025, 32767, 7563);
    Label4 = Label(Panel1, "Label4", 8, 128);
    Edit4 = Edit(Panel1, "Edit4", 104, 126, 40);
    UpDown2 = UpDown(Panel1, "UpDown2", Edit4, 14, 0, 1000, 0);
    Bevel2 = Bevel(Panel1, "Bevel2", 144);
    Bevel2->lower(); // under the time-out field, which reaches below it

    RadioGroup1 = Named(new TRadioGroup(Panel1), "RadioGroup1");
    RadioGroup1->setGeometry(8, 160, 217, 49);
    RadioGroup1->SetColumns(2);
    RadioGroup1->SetItems({QStringLiteral("User"), QStringLiteral("System")});

    Panel2 = Named(new QFrame(Panel1), "Panel2");
    Panel2->setFrameShape(QFrame::Panel);
    Panel2->setFrameShadow(QFrame::Raised);
    Panel2->setGeometry(8, 216, 217, 33);
    chkbConnectionPooling =
        CheckBox(Panel1, "chkbConnectionPooling", "Connection pooling", {16, 224, 137, 17});
    chkbConnectionPooling->raise();

    grpbLogging = Named(new QGroupBox(QStringLiteral("Logging"), Panel1), "grpbLogging");
    grpbLogging->setGeometry(8, 256, 217, 81);
    chkbComms = CheckBox(grpbLogging, "chkbComms", "Communications", {8, 24, 97, 17});
    chkbCalls = CheckBox(grpbLogging, "chkbCalls", "Function calls", {8, 48, 97, 17});

    OKBtn = Named(new QPushButton(QStringLiteral("OKBtn"), this), "OKBtn");
    OKBtn->setGeometry(86, 368, 75, 25);
    OKBtn->setDefault(true);
    CancelBtn = Named(new QPushButton(QStringLiteral("CancelBtn"), this), "CancelBtn");
    CancelBtn->setGeometry(166, 368, 75, 25);
    CancelBtn->setAutoDefault(false);
    SetCancelButton(CancelBtn);

    QWidget* order[] = {Edit1,
                        Edit2,
                        Edit3,
                        UpDown1,
                        Edit4,
                        UpDown2,
                        RadioGroup1->Button(0),
                        RadioGroup1->Button(1),
                        chkbConnectionPooling,
                        chkbComms,
                        chkbCalls,
                        OKBtn,
                        CancelBtn};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    for (QLineEdit* e : {Edit1, Edit2, Edit3, Edit4})
        connect(e, &QLineEdit::textEdited, this, [this] { Edit1Change(); });
    for (common::TUpDown* u : {UpDown1, UpDown2})
        connect(u, &common::TUpDown::Click, this, [this, u] { UpDown1Click(u); });
    connect(chkbConnectionPooling, &QCheckBox::clicked, this, [this] { chkbConnectionPoolingClick(); });
    connect(chkbComms, &QCheckBox::clicked, this, [this] { chkbCommsClick(); });
    connect(chkbCalls, &QCheckBox::clicked, this, [this] { chkbCallsClick(); });
    connect(OKBtn, &QPushButton::clicked, this, [this] { OKBtnClick(); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { CancelBtnClick(); });
}

void TForm2::FormCreate() {
    OKBtn->setText(ResText(1021));
    CancelBtn->setText(ResText(1022));
    LoadHeaderImage(Image1);
    Label1->setText(ResText(1042));
    Label2->setText(ResText(1043));
    Label3->setText(ResText(1044));
    Label4->setText(ResText(1045));
    for (QLabel* l : {Label1, Label2, Label3, Label4})
        l->adjustSize();
    Label1->setBuddy(Edit1);
    Label2->setBuddy(Edit2);
    Label3->setBuddy(Edit3);
    Label4->setBuddy(Edit4);
    Edit1->setAccessibleName(Label1->text());
    Edit2->setAccessibleName(Label2->text());
    Edit3->setAccessibleName(Label3->text());
    Edit4->setAccessibleName(Label4->text());
    UpDown1->setAccessibleName(Label3->text());
    UpDown2->setAccessibleName(Label4->text());

    Edit1->setReadOnly(false);
    for (QLineEdit* e : {Edit1, Edit2, Edit3, Edit4})
        e->clear();

    RadioGroup1->setTitle(ResText(1040));
    RadioGroup1->SetItems({ResText(1047), ResText(1046)});
    RadioGroup1->SetItemIndex(0);
    FLoadedScope = 0;
}

void TForm2::showEvent(QShowEvent* Event) {
    TWDXClntStdForm::showEvent(Event);
    if (FShown)
        return;
    FShown = true;
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area = screen->availableGeometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
    // The up-downs are bound now: each writes its position into its field
    // (the new-mode starting values); edit mode then shows the row's texts.
    for (common::TUpDown* u : {UpDown1, UpDown2}) {
        u->SetAssociate(u == UpDown1 ? Edit3 : Edit4);
        u->SetPosition(u->Position());
    }
    FormShow();
}

void TForm2::FormShow() {
    if (!FEditMode) {
        setWindowTitle(ResText(1033));
        // OK always checks and writes a new definition.
        FChanged = true;
        Edit1->setFocus();
        return;
    }

    setWindowTitle(ResText(1034));
    // A definition keeps its name here.
    Edit1->setReadOnly(true);
    Edit1->setFocusPolicy(Qt::ClickFocus);
    FRow = FListView ? FListView->SelectedRow() : -1;
    if (FRow >= 0) {
        const common::TListItems* items = FListView->Items();
        Edit1->setText(items->Caption(FRow));
        Edit2->setText(items->Text(FRow, colHostName));
        Edit3->setText(items->Text(FRow, colPort));
        Edit4->setText(items->Text(FRow, colTimeOut));
        if (ScopeOfTypeText(*this, items->Text(FRow, colType)) == brokerstore::scSystem) {
            RadioGroup1->SetItemIndex(1);
            FLoadedScope = 1;
        }
        LoadOptions(Edit1->text());
    }
    SyncSpinPosition(UpDown1);
    SyncSpinPosition(UpDown2);
    Edit2->setFocus();
    // Last: loading the options must not count as a change.
    FChanged = false;
}

void TForm2::LoadOptions(const QString& Name) {
    const auto scope = static_cast<brokerstore::TBrokerScope>(RadioGroup1->ItemIndex());
    brokerstore::TBrokerOptions options;
    try {
        // A key that cannot be read leaves the three boxes off.
        if (brokerstore::ReadBrokerOptions(scope, StoreText(Name), options)) {
            chkbConnectionPooling->setChecked(options.ConnectionPooling);
            chkbComms->setChecked(options.LogComms);
            chkbCalls->setChecked(options.LogCalls);
        }
    } catch (const brokerstore::EBrokerStoreError& e) {
        // The stored "LogLevel" is no number. The dialog still opens with
        // the logging boxes off; the stored text stays unless OK writes.
        chkbConnectionPooling->setChecked(brokerstore::ReadBrokerPooling(scope, StoreText(Name)));
        chkbComms->setChecked(false);
        chkbCalls->setChecked(false);
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
        if (row != FRow && SameBrokerName(items->Caption(row), Edit1->text()) &&
            ScopeOfTypeText(*this, items->Text(row, colType)) == scope)
            return true;
    return false;
}

TForm2::TCheckResult TForm2::CheckEntries() const {
    const QString invalid = ResText(2004);
    auto fail = [](QWidget* Focus, QString Message) {
        return TCheckResult{false, Focus, std::move(Message)};
    };

    if (Edit1->text().isEmpty())
        return fail(Edit1, invalid);
    // A "\" would make nested keys, of which the list shows only the first.
    if (Edit1->text().contains(QLatin1Char('\\')))
        return fail(Edit1, invalid + QStringLiteral(" A Component Broker name cannot contain \"\\\"."));
    if (!IsStorable(Edit1->text()) || !brokerstore::IsValidBrokerName(StoreText(Edit1->text())))
        return fail(Edit1, invalid + QStringLiteral(" The name holds characters that cannot be stored."));
    if (Edit2->text().isEmpty())
        return fail(Edit2, invalid);
    if (!IsStorable(Edit2->text()))
        return fail(Edit2,
                    invalid + QStringLiteral(" The host name holds characters that cannot be stored."));
    if (Edit3->text().isEmpty())
        return fail(Edit3, invalid);
    if (Edit4->text().isEmpty())
        return fail(Edit4, invalid);

    const QString duplicate = ResText(2006);
    if (!FEditMode && FListView) {
        const common::TListItems* items = FListView->Items();
        for (int row = 0; row < items->Count(); ++row)
            if (SameBrokerName(items->Caption(row), Edit1->text()))
                return fail(Edit1, duplicate);
    }
    // Moving a definition onto another one of its name would overwrite that
    // one's values without a word.
    const int scope = RadioGroup1->ItemIndex();
    if (FEditMode && FListView && scope != FLoadedScope && NameTakenInScope(scope))
        return fail(RadioGroup1->Button(scope),
                    duplicate + QStringLiteral(" A definition of this name exists under %1 already.")
                                    .arg(RadioGroup1->Button(scope)->text()));

    const QString notInteger = ResText(2007);
    if (!IsWholeNumber(Edit3->text()))
        return fail(Edit3, notInteger);
    if (!IsWholeNumber(Edit4->text()))
        return fail(Edit4, notInteger);
    return {};
}

void TForm2::OKBtnClick() {
    const int scope = RadioGroup1->ItemIndex();
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
    def.Name = StoreText(Edit1->text());
    def.Scope = static_cast<brokerstore::TBrokerScope>(scope);
    def.HostName = StoreText(Edit2->text());
    def.Port = StoreText(Edit3->text());
    def.TimeOut = StoreText(Edit4->text());
    def.ConnectionPooling = chkbConnectionPooling->isChecked();
    def.LogComms = chkbComms->isChecked();
    def.LogCalls = chkbCalls->isChecked();
    // A scope change writes the new key first and removes the old one only
    // once that has succeeded.
    brokerstore::TScopeChange result = brokerstore::TScopeChange::Moved;
    if (FEditMode && FRow >= 0 && scope != FLoadedScope)
        result = brokerstore::ChangeBrokerScope(def, static_cast<brokerstore::TBrokerScope>(FLoadedScope));
    else if (!brokerstore::WriteBrokerDefinition(def))
        result = brokerstore::TScopeChange::WriteFailed;
    if (result == brokerstore::TScopeChange::WriteFailed) {
        common::ShowMessage(
            {this, failText, Edit1->text(), common::TMsgIcon::Error, common::TMsgButtons::Ok});
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
            items->Add({Edit1->text(), Edit2->text(), Edit3->text(), Edit4->text(), type});
        } else if (FRow >= 0) {
            items->SetText(FRow, colHostName, Edit2->text());
            items->SetText(FRow, colPort, Edit3->text());
            items->SetText(FRow, colTimeOut, Edit4->text());
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
