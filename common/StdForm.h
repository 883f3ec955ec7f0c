#pragma once
// The standard form base of every window of both programs. It knows the
// string table of the program that owns the window and gives the window its
// texts by id.

#include "common/ResText.h"

#include <QDialog>
#include <QString>

namespace wdx::common {

class TWDXStdForm : public QDialog {
    Q_OBJECT
public:
    TWDXStdForm(const TStringTable& Table, QWidget* Parent = nullptr);

    // Text of Id from this program's table (see common::LoadResText).
    std::u16string LoadResText(int Id) const;
    // The same, as the QString a control takes.
    QString ResText(int Id) const;

    const TStringTable& StringTable() const { return *FModule; }

private:
    const TStringTable* FModule; // the owning program's table; never another's
};

} // namespace wdx::common
