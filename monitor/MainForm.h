#pragma once
// The monitor's main window: the broker selector, the refresh controls and
// the component and service lists. The whole monitor lives in this window.

#include "monitor/WDXMntrStdClasses.h"
#ifndef Q_MOC_RUN // the connection's headers are beyond what moc parses
#include "monitor/MonitorLink.h"
#include "monitor/RefreshInterval.h"
#endif

#include <QString>
#include <QStringList>

#include <memory>

class QTimer;

namespace wdx::common {
class THelpRouter;
}

namespace wdx::monitor {

namespace Ui {
class TForm1;
}

class TForm1 : public TWDXMntrStdForm {
    Q_OBJECT
public:
    // Creates the window, shows it and then reads the command line Args
    // (the arguments after the program name).
    explicit TForm1(const QStringList& Args, QWidget* Parent = nullptr);
    ~TForm1() override;

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

    // The automatic refresh interval the window takes, in seconds (also the
    // range of UpDown1).
    static constexpr int MinInterval = MinRefreshSeconds;
    static constexpr int MaxInterval = MaxRefreshSeconds;

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
    void closeEvent(QCloseEvent* Event) override;

private:
    // Binds the handlers to their controls' events.
    void BindHandlers();
    void FormCreate(const QStringList& Args);
    void FormShow() override;
    void FormClose();

    // What the "&Details..." items open for the selected row.
    void OpenComponentDetails();
    void OpenParamDetails();

    // The stored window definition (MainForm.ui): every control, laid out,
    // with its placeholder text; FormCreate gives the real texts and states.
    std::unique_ptr<Ui::TForm1> ui;
    QTimer* Timer1;
    common::THelpRouter* HelpRouter1;
    // A refresh, or a fill, is under way; with its message box open, further
    // ticks of Timer1 are skipped instead of stacking refreshes and boxes.
    bool FRefreshing = false;
    bool FFilling = false;
};

} // namespace wdx::monitor
