#include "common/widgets/FigureLabel.h"

namespace wdx::common {

TFigureLabel::TFigureLabel(QWidget* Parent) : QLabel(Parent) {
    setTextFormat(Qt::PlainText);
}

void TieFigure(QLabel* Caption, TFigureLabel* Figure) {
    // Qt's accessibility finds a widget's labels among its siblings by
    // their buddy; for a label that is all a buddy does here.
    Caption->setBuddy(Figure);
}

} // namespace wdx::common
