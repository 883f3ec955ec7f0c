#pragma once
// Up-down (spin) buttons attached to a one-line edit. Unlike a spin box, the
// edit keeps whatever text is typed; a button press reads the edit's number,
// steps it within the range and writes it back.

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace wdx::common {

class TUpDown : public QWidget {
    Q_OBJECT
public:
    enum TUDBtnType { btNext, btPrev };

    explicit TUpDown(QWidget* Parent = nullptr);

    // The edit whose number the buttons step; it is not owned.
    void SetAssociate(QLineEdit* Edit);
    QLineEdit* Associate() const { return FAssociate; }

    int Min() const { return FMin; }
    int Max() const { return FMax; }
    void SetRange(int Min, int Max);
    int Increment() const { return FIncrement; }
    void SetIncrement(int Increment) { FIncrement = Increment; }
    bool Wrap() const { return FWrap; }
    void SetWrap(bool Wrap) { FWrap = Wrap; }
    int Position() const { return FPosition; }
    // Sets the position (kept within the range) and writes it to the edit.
    void SetPosition(int Position);
    // Sets the position (kept within the range) and leaves the edit's text
    // as it is: a loaded text is shown as stored, the buttons step from it.
    void SyncPosition(int Position);

    // What a press of one button does: the edit's number (or the last
    // position when the text is no number) moves by one increment, stopping
    // at the range's ends unless Wrap is set, and is written back.
    void Step(TUDBtnType Button);

    QSize sizeHint() const override;

signals:
    // After each press of a button, once the edit holds the new number.
    void Click(wdx::common::TUpDown::TUDBtnType Button);

protected:
    void keyPressEvent(QKeyEvent* Event) override;
    void showEvent(QShowEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    // The buttons are "Up" and "Down"; their descriptions and the control's
    // name tell the field they step.
    void NameButtons();

    QLineEdit* FAssociate = nullptr;
    QToolButton* FUpBtn;
    QToolButton* FDownBtn;
    int FMin = 0;
    int FMax = 100;
    int FIncrement = 1;
    bool FWrap = false;
    int FPosition = 0;
};

} // namespace wdx::common
