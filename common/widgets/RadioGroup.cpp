#include "common/widgets/RadioGroup.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QRadioButton>

namespace wdx::common {

TRadioGroup::TRadioGroup(QWidget* Parent) : QGroupBox(Parent), FGroup(new QButtonGroup(this)) {
    new QGridLayout(this);
    FGroup->setExclusive(true);
}

void TRadioGroup::SetItems(const QStringList& Items) {
    // Buttons that stay keep their place in the keyboard order.
    while (Count() > Items.size()) {
        QRadioButton* b = FButtons.back();
        FGroup->removeButton(b);
        FButtons.pop_back();
        delete b;
    }
    for (int i = 0; i < Items.size(); ++i) {
        if (i < Count()) {
            FButtons[static_cast<size_t>(i)]->setText(Items.at(i));
            continue;
        }
        auto* b = new QRadioButton(Items.at(i), this);
        b->setObjectName(objectName() + QStringLiteral("Item%1").arg(i));
        FGroup->addButton(b, i);
        FButtons.push_back(b);
    }
    SetItemIndex(-1);
    Arrange();
}

void TRadioGroup::SetColumns(int Columns) {
    FColumns = Columns < 1 ? 1 : Columns;
    Arrange();
}

void TRadioGroup::Arrange() {
    auto* grid = static_cast<QGridLayout*>(layout());
    int rows = (Count() + FColumns - 1) / FColumns;
    // Filled column by column, as the items are counted.
    for (int i = 0; i < Count(); ++i)
        grid->addWidget(FButtons[static_cast<size_t>(i)], rows ? i % rows : 0, rows ? i / rows : 0);
}

QRadioButton* TRadioGroup::Button(int Index) const {
    return Index >= 0 && Index < Count() ? FButtons[static_cast<size_t>(Index)] : nullptr;
}

int TRadioGroup::ItemIndex() const {
    return FGroup->checkedId();
}

void TRadioGroup::SetItemIndex(int Index) {
    if (QRadioButton* b = Button(Index)) {
        b->setChecked(true);
        return;
    }
    // No button chosen: an exclusive group allows that only while it is off.
    FGroup->setExclusive(false);
    for (QRadioButton* b : FButtons)
        b->setChecked(false);
    FGroup->setExclusive(true);
}

} // namespace wdx::common
