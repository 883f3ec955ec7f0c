#pragma once
// The component details dialog: the live figures of one component of the
// connected broker, and the actions on it (retire, set the maximum number of
// instances, clear the statistics). After each action that succeeds the main
// window refills its lists and the dialog reads its figures again.
//
// The dialog borrows the main window's connection through a link and asks
// the link before every call: a refresh that fails while the dialog is open
// ends the connection, and from then on the dialog says so and sends nothing.

#include "monitor/WDXMntrStdClasses.h"
#ifndef Q_MOC_RUN // the connection's headers are beyond what moc parses
#include "monitor/MonitorLink.h"
#endif

#include <QPointer>
#include <QString>
#include <cstdint>
#include <stdexcept>
#include <string>

#include <memory>

namespace wdx::monitor {

namespace Ui {
class TForm2;
}

class TForm1;

class TForm2 : public TWDXMntrStdForm {
    Q_OBJECT
public:
    explicit TForm2(QWidget* Parent = nullptr);
    ~TForm2() override;

    // Inputs, handed over before the dialog is shown; each only stores its
    // value (SetMainWindow also listens for the end of its connection).
    void SetMainWindow(TForm1* MainWindow);
    void SetMonitor(TMonitorLink Monitor);
    void SetBrokerName(const QString& BrokerName);
    void SetComponentName(const std::string& ComponentName);

    // The range of UpDown1; typed text is not limited by it.
    static constexpr int MinMaximum = 1;
    static constexpr int MaxMaximum = 100;

    // The chosen item of RadioGroup1: 0 "Retire", 1 "Set maximum",
    // 2 "Clear statistics", or -1 for none.
    int ItemIndex() const;
    void SetItemIndex(int Index);

    // Handlers.
    void FormShow() override;
    void Edit1Change();
    void Button1Click();
    void Button2Click();
    void Button3Click();

    // Whether the connection the dialog was given has ended.
    bool ConnectionGone() const { return FConnectionGone; }

protected:
    void closeEvent(QCloseEvent* Event) override;

private:
    void BindHandlers();
    void FormCreate();
    void FormClose();
    // The connection has ended: nothing can be sent any more.
    void MonitorEnded();

    // The stored window definition (ComponentDetailsForm.ui).
    std::unique_ptr<Ui::TForm2> ui;
    QPointer<TForm1> FMainWindow;
    TMonitorLink FMonitor;
    QString FBrokerName;
    std::string FComponentName;
    bool FFilling = false;
    bool FConnectionGone = false;
};

// The text of Edit1 as a signed 32-bit decimal integer (blanks around it
// allowed); anything else throws EConvertError, whose message quotes the text.
std::int32_t ReadMaximum(const QString& Text);

class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace wdx::monitor
