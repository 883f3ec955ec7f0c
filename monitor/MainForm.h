#pragma once
// The monitor's main window: the broker selector, the refresh controls and
// the component and service lists. The whole monitor lives in this window.

#include "monitor/WDXMntrStdClasses.h"
#ifndef Q_MOC_RUN // the connection's headers are beyond what moc parses
#include "monitor/MonitorLink.h"
#endif

#include <QString>
#include <QStringList>

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTabWidget;
class QTimer;

namespace wdx::common {
class THelpRouter;
class TListView;
class TUpDown;
} // namespace wdx::common

namespace wdx::monitor {

class TForm1 : public TWDXMntrStdForm {
    Q_OBJECT
public:
    // Creates the window, shows it and then reads the command line Args
    // (the arguments after the program name).
    explicit TForm1(const QStringList& Args, QWidget* Parent = nullptr);
    ~TForm1() override;

    // Controls, named as in the window's definition.
    QTabWidget* PageControl1;
    QWidget* TabSheet1;
    QLabel* Image1;
    QLabel* Label1;
    QFrame* Bevel1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QComboBox* ComboBox1;
    QLabel* lblVersion;
    QLabel* lblVersionDisplay;
    QPushButton* DisconnectBtn;
    QFrame* Bevel2;
    QGroupBox* GroupBox3;
    QCheckBox* cbRefresh;
    QLabel* Label5;
    QLineEdit* Edit2;
    common::TUpDown* UpDown1;
    QPushButton* RefreshBtn;
    QGroupBox* GroupBox1;
    common::TListView* ListView1;
    QGroupBox* GroupBox2;
    common::TListView* ListView2;
    QPushButton* CloseBtn;
    QPushButton* HelpBtn;
    QTimer* Timer1;
    QMenu* PopupMenu1;
    QAction* Item11;
    QMenu* PopupMenu2;
    QAction* Item12;
    common::THelpRouter* HelpRouter1;

    // True when the program was started with "-debug"; set once, at start.
    bool DebugMode = false;
    // The broker last chosen, and the component and service last clicked.
    QString BrokerName;
    QString CurrentComponent;
    QString CurrentService;
    // The monitor connection: present exactly while the window is connected.
    // The window is its only owner; dialogs borrow it through
    // Connection.Link().
    TConnectionOwner Connection;

    static constexpr int ClientWidth = 525;
    static constexpr int ClientHeight = 502;
    static constexpr int HelpContextId = 118;
    // The automatic refresh interval the window takes, in seconds.
    static constexpr int MinInterval = 1;
    static constexpr int MaxInterval = 3600;

    // Connecting and disconnecting (the reset).
    void ComboBox1Change();
    void DisconnectBtnClick();
    void CloseBtnClick();
    void HelpBtnClick();

    // The lists. The component details dialog calls both fills after each
    // action.
    void FillComponentList();
    void FillServiceList();
    void ListView1Click();
    void ListView2Click();
    void PopupMenu1Popup();
    void PopupMenu2Popup();
    void ListView1DblClick();
    void ListView2DblClick();

    // Refresh, by the button and by every tick of Timer1, and its interval.
    void RefreshBtnClick();
    void cbRefreshClick();
    void Edit2Change();

signals:
    // The reset has ended a connection (every link to it is empty by now).
    void ConnectionEnded();

protected:
    void showEvent(QShowEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;

private:
    // The stored window definition: every control, laid out, with its
    // placeholder text; FormCreate gives the real texts and states.
    void CreateControls();
    // Binds the handlers to their controls' events, as the window's
    // definition does.
    void BindHandlers();
    void FormCreate(const QStringList& Args);
    void FormShow();
    void FormClose();

    // What the "&Details..." items open for the selected row.
    void OpenComponentDetails();
    void OpenParamDetails();

    bool FShown = false;
    // A refresh, or a fill, is under way; with its message box open, further
    // ticks of Timer1 are skipped instead of stacking refreshes and boxes.
    bool FRefreshing = false;
    bool FFilling = false;
};

} // namespace wdx::monitor
