#pragma once
// A label that shows a value (a figure, a name, a version) beside a caption
// that says what it is. It shows its text as given, never as markup: the
// values come from a broker. A screen reader reads that text as its name,
// an empty one included (Qt would name an empty label after its caption,
// which is then read twice), and finds the caption through the labelled-by
// relation that TieFigure makes.

#include <QLabel>

namespace wdx::common {

class TFigureLabel : public QLabel {
    Q_OBJECT
public:
    explicit TFigureLabel(QWidget* Parent = nullptr);
};

// Caption labels Figure, its sibling: "Number active:" then "4". The text
// of neither changes, and the caption takes no shortcut unless its text
// has one.
void TieFigure(QLabel* Caption, TFigureLabel* Figure);

} // namespace wdx::common
