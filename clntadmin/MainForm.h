#pragma once
// The administrator's main window: every broker definition of both scopes in
// one list, with Add, Edit and Delete. Adding and editing happen in TForm2.

#include "clntadmin/WDXClntStdClasses.h"

#include <memory>

class QAction;
class QFrame;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QTabWidget;

namespace wdx::common {
class TListView;
class THelpRouter;
}

namespace wdx::clntadmin {

class TShortNameSetting;

class TForm1 : public TWDXClntStdForm {
    Q_OBJECT
public:
    // Setting is where the start-up check reads the platform's short-name
    // setting; null means the System store (see TStoreShortNameSetting).
    explicit TForm1(std::shared_ptr<const TShortNameSetting> Setting = nullptr, QWidget* Parent = nullptr);
    ~TForm1() override;

    // Controls, named as in the window's definition.
    QTabWidget* PageControl1;
    QWidget* TabSheet1;
    QLabel* Image1;
    QLabel* Label1;
    QFrame* Bevel1;
    QLabel* Label2;
    QLabel* Label3;
    QFrame* Bevel2;
    QGroupBox* GroupBox1;
    common::TListView* ListView1;
    QPushButton* Button1;
    QPushButton* Button2;
    QPushButton* Button3;
    QPushButton* CloseBtn;
    QPushButton* HelpBtn;
    QMenu* PopupMenu1;
    QAction* Item11;
    QAction* Item21;
    QAction* Item31;
    common::THelpRouter* HelpRouter1;

    static constexpr int ClientWidth = 362;
    static constexpr int ClientHeight = 413;
    static constexpr int HelpContextId = 116;

    void setVisible(bool Visible) override;

protected:
    void showEvent(QShowEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    // The stored window definition: every control in its place with its
    // placeholder text; FormCreate gives the real texts and states.
    void CreateControls();
    void FormCreate();
    void FormShow();
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

    std::shared_ptr<const TShortNameSetting> FShortNameSetting;
    bool FShown = false;
    bool FChecked = false;
};

} // namespace wdx::clntadmin
