#include "common/widgets/UpDown.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace wdx::common {

TUpDown::TUpDown(QWidget* Parent)
    : QWidget(Parent), FUpBtn(new QToolButton(this)), FDownBtn(new QToolButton(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (auto [button, arrow] : {std::pair{FUpBtn, Qt::UpArrow}, std::pair{FDownBtn, Qt::DownArrow}}) {
        button->setArrowType(arrow);
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
        button->setFixedWidth(16);
        layout->addWidget(button);
    }
    FUpBtn->setObjectName(QStringLiteral("UpButton"));
    FDownBtn->setObjectName(QStringLiteral("DownButton"));
    FUpBtn->setAccessibleName(QStringLiteral("Up"));
    FDownBtn->setAccessibleName(QStringLiteral("Down"));
    connect(FUpBtn, &QToolButton::clicked, this, [this] { Step(btNext); });
    connect(FDownBtn, &QToolButton::clicked, this, [this] { Step(btPrev); });
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void TUpDown::SetAssociate(QLineEdit* Edit) {
    if (FAssociate)
        FAssociate->removeEventFilter(this);
    FAssociate = Edit;
    if (FAssociate)
        FAssociate->installEventFilter(this);
    NameButtons();
}

void TUpDown::NameButtons() {
    // The field's name is its label's, which may be given after the
    // association; so this runs again when the control is shown.
    QString field;
    if (FAssociate)
        if (QAccessibleInterface* i = QAccessible::queryAccessibleInterface(FAssociate))
            field = i->text(QAccessible::Name);
    setAccessibleName(field);
    FUpBtn->setAccessibleDescription(field.isEmpty() ? QString() : QStringLiteral("Up: ") + field);
    FDownBtn->setAccessibleDescription(field.isEmpty() ? QString() : QStringLiteral("Down: ") + field);
}

void TUpDown::showEvent(QShowEvent* Event) {
    NameButtons();
    QWidget::showEvent(Event);
}

void TUpDown::SetRange(int Min, int Max) {
    FMin = Min;
    FMax = std::max(Min, Max);
    FPosition = std::clamp(FPosition, FMin, FMax);
}

void TUpDown::SetPosition(int Position) {
    FPosition = std::clamp(Position, FMin, FMax);
    if (FAssociate) {
        QString text = QString::number(FPosition);
        if (FAssociate->text() != text)
            FAssociate->setText(text);
    }
}

void TUpDown::SyncPosition(int Position) {
    FPosition = std::clamp(Position, FMin, FMax);
}

void TUpDown::Step(TUDBtnType Button) {
    if (FAssociate) {
        bool ok = false;
        int typed = FAssociate->text().trimmed().toInt(&ok);
        if (ok)
            FPosition = std::clamp(typed, FMin, FMax);
    }
    // In 64 bits: a large increment near the range's end must not overflow.
    long long next = static_cast<long long>(FPosition) + (Button == btNext ? FIncrement : -FIncrement);
    if (next > FMax)
        next = FWrap ? FMin : FMax;
    else if (next < FMin)
        next = FWrap ? FMax : FMin;
    SetPosition(static_cast<int>(next));
    emit Click(Button);
}

QSize TUpDown::sizeHint() const {
    int h = FAssociate ? FAssociate->sizeHint().height() : 22;
    return {16, h};
}

void TUpDown::keyPressEvent(QKeyEvent* Event) {
    if (Event->key() == Qt::Key_Up || Event->key() == Qt::Key_Down) {
        if (isEnabled())
            Step(Event->key() == Qt::Key_Up ? btNext : btPrev);
        return;
    }
    QWidget::keyPressEvent(Event);
}

bool TUpDown::eventFilter(QObject* Watched, QEvent* Event) {
    // The arrow keys in the edit work the buttons, as they do on the buttons.
    if (Watched == FAssociate && Event->type() == QEvent::KeyPress && isEnabled()) {
        auto* key = static_cast<QKeyEvent*>(Event);
        if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
            Step(key->key() == Qt::Key_Up ? btNext : btPrev);
            return true;
        }
    }
    return QWidget::eventFilter(Watched, Event);
}

} // namespace wdx::common
