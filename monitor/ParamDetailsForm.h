#pragma once
// The parameter details dialog: the parameters of one service (name, type,
// precision, scale, mode), read once when it is shown. It only reads; it
// changes nothing on the broker.

#include "monitor/WDXMntrStdClasses.h"
#ifndef Q_MOC_RUN // the connection's headers are beyond what moc parses
#include "monitor/MonitorLink.h"
#endif

#include <QString>
#include <cstdint>
#include <string>

#include <memory>

namespace wdx::monitor {

namespace Ui {
class TForm3;
}

// The words a parameter's codes are shown as. A code the tables do not name
// is shown as the code itself, in decimal, so that nothing is hidden.
QString DataTypeText(std::int32_t DataType);
QString ParamModeText(std::int32_t Mode);

class TForm3 : public TWDXMntrStdForm {
    Q_OBJECT
public:
    explicit TForm3(QWidget* Parent = nullptr);
    ~TForm3() override;

    // Inputs, handed over before the dialog is shown; each only stores its
    // value. Without a connection or a service name the list stays empty.
    void SetMonitor(TMonitorLink Monitor);
    void SetServiceName(const std::string& ServiceName);

    void FormShow() override;
    void Button1Click();

protected:
    void closeEvent(QCloseEvent* Event) override;

private:
    void FormCreate();
    void FormClose();

    // The stored window definition (ParamDetailsForm.ui).
    std::unique_ptr<Ui::TForm3> ui;
    TMonitorLink FMonitor;
    std::string FServiceName;
};

} // namespace wdx::monitor
