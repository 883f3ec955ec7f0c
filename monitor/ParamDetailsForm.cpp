#include "ParamDetailsForm.h"

#include "common/widgets/ListView.h"
#include "monitor/DefaultReport.h"
#include "monitor/NPXError.h"
#include "monitor/ParamWords.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QVBoxLayout>

namespace wdx::monitor {

QString DataTypeText(std::int32_t DataType) {
    const char* Word = DataTypeWord(DataType);
    return Word ? QString::fromLatin1(Word) : QString::number(DataType);
}

QString ParamModeText(std::int32_t Mode) {
    const char* Word = ParamModeWord(Mode);
    return Word ? QString::fromLatin1(Word) : QString::number(Mode);
}

TForm3::TForm3(QWidget* Parent) : TWDXMntrStdForm(Parent) {
    CreateControls();
    connect(Button1, &QPushButton::clicked, this, [this] { RunHandler([this] { Button1Click(); }); });
    FormCreate();
}

TForm3::~TForm3() = default;

void TForm3::CreateControls() {
    setObjectName(QStringLiteral("WDXMntrParamForm"));
    setWindowTitle(QStringLiteral("WDXMntrParamForm"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(ClientWidth, ClientHeight);

    auto* formLayout = new QVBoxLayout(this);
    formLayout->setContentsMargins(8, 8, 8, 8);
    formLayout->setSpacing(8);
    ListView1 = new common::TListView(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setAccessibleName(QStringLiteral("Parameters"));
    formLayout->addWidget(ListView1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    Button1 = new QPushButton(QStringLiteral("Button1"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setMinimumWidth(75);
    buttons->addWidget(Button1);
    formLayout->addLayout(buttons);
    // Escape closes it like OK: there is nothing to cancel.
    SetCancelButton(Button1);
}

void TForm3::FormCreate() {
    Button1->setText(ResText(1021));
    ListView1->SetColumns({ResText(1035), ResText(1045), ResText(1046), ResText(1047), ResText(1048)},
                          {80, 60, 60, 60, 60});
    // The five columns share the list's width.
    ListView1->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    ListView1->SetHideSelection(false);
}

void TForm3::SetMonitor(TMonitorLink Monitor) {
    FMonitor = std::move(Monitor);
}

void TForm3::SetServiceName(const std::string& ServiceName) {
    FServiceName = ServiceName;
}

void TForm3::showEvent(QShowEvent* Event) {
    TWDXMntrStdForm::showEvent(Event);
    if (!FShown) {
        FShown = true;
        RunHandler([this] { FormShow(); });
    }
}

void TForm3::closeEvent(QCloseEvent* Event) {
    RunHandler([this] { FormClose(); });
    TWDXMntrStdForm::closeEvent(Event);
}

void TForm3::FormClose() {}

void TForm3::FormShow() {
    setWindowTitle(QStringLiteral("Parameter Details"));
    ListView1->Items()->Clear();
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
    ListView1->Items()->Assign(std::move(rows));
}

void TForm3::Button1Click() {
    accept();
}

} // namespace wdx::monitor
