#include "StdForm.h"

namespace wdx::common {

TWDXStdForm::TWDXStdForm(const TStringTable& Table, QWidget* Parent) : QDialog(Parent), FModule(&Table) {}

std::u16string TWDXStdForm::LoadResText(int Id) const { return common::LoadResText(*FModule, Id); }

QString TWDXStdForm::ResText(int Id) const { return QString::fromStdU16String(LoadResText(Id)); }

} // namespace wdx::common
