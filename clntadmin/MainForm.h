#pragma once
// The administrator's main window: every broker definition of both scopes in
// one list, with Add, Edit and Delete. Adding and editing happen in TForm2.

#include "clntadmin/WDXClntStdClasses.h"

#include <memory>

namespace wdx::common {
class THelpRouter;
}

namespace wdx::clntadmin {

namespace Ui {
class TForm1;
}

class TShortNameSetting;

class TForm1 : public TWDXClntStdForm {
    Q_OBJECT
public:
    // Setting is where the start-up check reads the platform's short-name
    // setting; null means the System store (see TStoreShortNameSetting).
    explicit TForm1(std::shared_ptr<const TShortNameSetting> Setting = nullptr, QWidget* Parent = nullptr);
    ~TForm1() override;

    void setVisible(bool Visible) override;

protected:
    void closeEvent(QCloseEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    // Binds the handlers to their controls' events.
    void BindHandlers();
    void FormCreate();
    void FormShow() override;
    void FormClose();
    void CloseBtnClick();
    void HelpBtnClick();
    void ListView1SelectItem();
    void ListView1DblClick();
    void AddListViewEntry();
    void EditListViewEntry();
    void DeleteListViewEntry();
    // True when the key started something (only Delete without modifiers on
    // a selected row does).
    bool ListView1KeyDown(int Key, Qt::KeyboardModifiers Shift, Qt::MouseButtons Buttons);
    void CheckShortNames();

    void FillList();
    void ShowEditDialog(bool EditMode);
    void DeleteSelectedEntry();

    // The stored window definition (MainForm.ui): every control in its place
    // with its placeholder text; FormCreate gives the real texts and states.
    std::unique_ptr<Ui::TForm1> ui;
    common::THelpRouter* HelpRouter1;
    std::shared_ptr<const TShortNameSetting> FShortNameSetting;
    bool FChecked = false;
};

} // namespace wdx::clntadmin
