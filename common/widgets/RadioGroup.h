#pragma once
// A titled frame of radio buttons in columns, of which one (or none) is
// chosen; its item index is the chosen button's.

#include <QGroupBox>
#include <QStringList>
#include <vector>

class QButtonGroup;
class QRadioButton;

namespace wdx::common {

class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    explicit TRadioGroup(QWidget* Parent = nullptr);

    // One button per item, in order; none is chosen afterwards.
    void SetItems(const QStringList& Items);
    void SetColumns(int Columns);
    int Count() const { return static_cast<int>(FButtons.size()); }
    QRadioButton* Button(int Index) const;

    // -1 when none is chosen.
    int ItemIndex() const;
    void SetItemIndex(int Index);

private:
    void Arrange();

    QButtonGroup* FGroup;
    std::vector<QRadioButton*> FButtons;
    int FColumns = 1;
};

} // namespace wdx::common
