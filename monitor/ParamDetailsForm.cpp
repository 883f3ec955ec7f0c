#include "ParamDetailsForm.h"

#include "common/widgets/ListView.h"
#include "monitor/NPXError.h"
#include "monitor/ParamWords.h"
#include "ui_ParamDetailsForm.h"

#include <QHeaderView>
#include <QPushButton>

namespace wdx::monitor {

QString DataTypeText(std::int32_t DataType) {
    const char* Word = DataTypeWord(DataType);
    return Word ? QString::fromLatin1(Word) : QString::number(DataType);
}

QString ParamModeText(std::int32_t Mode) {
    const char* Word = ParamModeWord(Mode);
    return Word ? QString::fromLatin1(Word) : QString::number(Mode);
}

TForm3::TForm3(QWidget* Parent) : TWDXMntrStdForm(Parent), ui(std::make_unique<Ui::TForm3>()) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    ui->setupUi(this);
    // Escape closes it like OK: there is nothing to cancel.
    SetCancelButton(ui->Button1);
    OnEvent(ui->Button1, &QPushButton::clicked, [this] { Button1Click(); });
    FormCreate();
}

TForm3::~TForm3() = default;

void TForm3::FormCreate() {
    ui->Button1->setText(ResText(1021));
    ui->ListView1->SetColumns({ResText(1035), ResText(1045), ResText(1046), ResText(1047), ResText(1048)},
                              {80, 60, 60, 60, 60});
    // The five columns share the list's width.
    ui->ListView1->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    ui->ListView1->SetHideSelection(false);
    ui->ListView1->setAccessibleName(QStringLiteral("Parameters"));
}

void TForm3::SetMonitor(TMonitorLink Monitor) {
    FMonitor = std::move(Monitor);
}

void TForm3::SetServiceName(const std::string& ServiceName) {
    FServiceName = ServiceName;
}

void TForm3::closeEvent(QCloseEvent* Event) {
    common::RunHandler([this] { FormClose(); });
    TWDXMntrStdForm::closeEvent(Event);
}

void TForm3::FormClose() {}

void TForm3::FormShow() {
    setWindowTitle(QStringLiteral("Parameter Details"));
    ui->ListView1->Items()->Clear();
    TNPXMonitor* monitor = FMonitor.Get();
    if (!monitor || FServiceName.empty())
        return;
    TParamsList params;
    try {
        params = monitor->GetParams(FServiceName);
    } catch (const ENPXException& e) {
        ShowNPXError(e, this, *this);
        return;
    }
    std::vector<QStringList> rows;
    rows.reserve(params.size());
    // In the connection's order: the list is never sorted.
    for (const TParams& p : params)
        rows.push_back({QString::fromStdString(p.Name), DataTypeText(p.DataType),
                        QString::number(p.Precision), QString::number(p.Scale), ParamModeText(p.Mode)});
    ui->ListView1->Items()->Assign(std::move(rows));
}

void TForm3::Button1Click() {
    accept();
}

} // namespace wdx::monitor
