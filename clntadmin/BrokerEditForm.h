#pragma once
// The modal dialog in which one broker definition is added or edited. It
// checks the input, writes the definition, moves it to another scope when
// asked, and then updates the list window's rows itself.

#include "clntadmin/WDXClntStdClasses.h"

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace wdx::common {
class TListView;
class TUpDown;
} // namespace wdx::common

namespace wdx::clntadmin {

class TRadioGroup;

class TForm2 : public TWDXClntStdForm {
    Q_OBJECT
public:
    explicit TForm2(QWidget* Parent = nullptr);
    ~TForm2() override;

    // The list window's list: the row to edit (its selected row), the names a
    // new one must not repeat, and where the result goes. Not owned.
    void SetListView(common::TListView* ListView) { FListView = ListView; }
    common::TListView* ListView() const { return FListView; }
    // False: a new definition. True: the list's selected row.
    void SetEditMode(bool EditMode) { FEditMode = EditMode; }
    bool EditMode() const { return FEditMode; }

    // Whether the operator changed a field or an option since the showing.
    bool Changed() const { return FChanged; }
    // The scope index of the edited row when the dialog was shown.
    int LoadedScope() const { return FLoadedScope; }

    // Controls, named as in the window's definition.
    QFrame* Panel1;
    QLabel* Image1;
    QFrame* Bevel1;
    QLabel* Label1;
    QLineEdit* Edit1;
    QLabel* Label2;
    QLineEdit* Edit2;
    QLabel* Label3;
    QLineEdit* Edit3;
    common::TUpDown* UpDown1;
    QLabel* Label4;
    QLineEdit* Edit4;
    common::TUpDown* UpDown2;
    QFrame* Bevel2;
    TRadioGroup* RadioGroup1;
    QFrame* Panel2;
    QCheckBox* chkbConnectionPooling;
    QGroupBox* grpbLogging;
    QCheckBox* chkbComms;
    QCheckBox* chkbCalls;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;

    static constexpr int ClientWidth = 249;
    static constexpr int ClientHeight = 398;

protected:
    void showEvent(QShowEvent* Event) override;

private:
    struct TCheckResult {
        bool Passed = true;
        QWidget* Focus = nullptr;
        QString Message;
    };

    void CreateControls();
    void FormCreate();
    void FormShow();
    void OKBtnClick();
    void CancelBtnClick();
    void Edit1Change();
    void UpDown1Click(common::TUpDown* UpDown);
    void chkbConnectionPoolingClick();
    void chkbCommsClick();
    void chkbCallsClick();
    TCheckResult CheckEntries() const;
    void SyncSpinPosition(common::TUpDown* UpDown);

    void LoadOptions(const QString& Name);
    bool NameTakenInScope(int Scope) const;

    common::TListView* FListView = nullptr;
    bool FEditMode = false;
    bool FChanged = false;
    int FLoadedScope = 0;
    int FRow = -1; // the edited row, taken when the dialog is shown
    bool FShown = false;
};

} // namespace wdx::clntadmin
