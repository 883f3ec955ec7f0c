#pragma once
// The modal dialog in which one broker definition is added or edited. It
// checks the input, writes the definition, moves it to another scope when
// asked, and then updates the list window's rows itself.

#include "clntadmin/WDXClntStdClasses.h"

#include <memory>

namespace wdx::common {
class TListView;
class TUpDown;
class TRadioGroup;
} // namespace wdx::common

namespace wdx::clntadmin {

namespace Ui {
class TForm2;
}

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

private:
    struct TCheckResult {
        bool Passed = true;
        QWidget* Focus = nullptr;
        QString Message;
    };

    // What the stored definition cannot say: the up-downs' ranges, the
    // radio group's items, the keyboard order through them; the handlers.
    void SetUpControls();
    void FormCreate();
    void FormShow() override;
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

    // The stored window definition (BrokerEditForm.ui).
    std::unique_ptr<Ui::TForm2> ui;
    common::TListView* FListView = nullptr;
    bool FEditMode = false;
    bool FChanged = false;
    int FLoadedScope = 0;
    int FRow = -1; // the edited row, taken when the dialog is shown
};

} // namespace wdx::clntadmin
