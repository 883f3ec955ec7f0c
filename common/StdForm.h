#pragma once
// The standard form base of every window of both programs. It knows the
// resources of the program that owns the window (its string table and icons),
// gives the window its texts by id, and sets the common look.

#include "common/DefaultReport.h"
#include "common/ResModule.h"

#include <QDialog>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <memory>

class QLabel;
class QPushButton;

namespace wdx::common {

class TWDXStdForm : public QDialog {
    Q_OBJECT
public:
    explicit TWDXStdForm(const TResModule& Module, QWidget* Parent = nullptr);
    // A form with the texts of Table and no icons, for routines that only
    // read texts; the programs' windows use the form of their own program.
    explicit TWDXStdForm(const TStringTable& Table, QWidget* Parent = nullptr);
    ~TWDXStdForm() override;

    // Text of Id from this program's table (see common::LoadResText).
    std::u16string LoadResText(int Id) const;
    // The same, as the QString a control takes.
    QString ResText(int Id) const;

    const TStringTable& StringTable() const { return FModule->Strings; }

    const TResModule& Module() const { return *FModule; }

    // An icon of this window's own program (see common::LoadIconImage).
    QPixmap LoadIconImage(const QString& Name, int Size) const;
    QIcon LoadProgramIcon(const QString& Name) const;
    // Puts "ICON_VKR" at its standard size into a window's header image.
    void LoadHeaderImage(QLabel* Image) const;

    // Help context and help file of the window, used by the Help button.
    int HelpContext() const { return FHelpContext; }
    void SetHelpContext(int Context) { FHelpContext = Context; }
    const QString& HelpFile() const { return FHelpFile; }
    void SetHelpFile(const QString& File) { FHelpFile = File; }

    // Escape presses this button; without one, Escape does nothing (a window
    // must not close behind the operator's back).
    void SetCancelButton(QPushButton* Button) { FCancelButton = Button; }

    // Where the window appears when it is first shown: where its definition
    // puts it (the default), or in the middle of the screen.
    enum class TPosition { Designed, ScreenCenter };
    void SetPosition(TPosition Position) { FPosition = Position; }

    // The common look: "MS Sans Serif" at 8 points, or the closest sans-serif
    // installed, on the button-face colour.
    static QFont StdFont();

protected:
    // Runs once, when the window is first shown, after it has been placed.
    // What it does not handle itself goes to the default error report.
    virtual void FormShow() {}
    // Whether the window has been shown (FormShow has begun).
    bool Shown() const { return FShown; }

    // Binds Handler to Event of Source, as the window's definition binds a
    // handler to its control; whatever escapes the handler is reported.
    template <class Sender, class Signal, class Handler>
    QMetaObject::Connection OnEvent(Sender* Source, Signal Event, Handler Body) {
        return connect(Source, Event, this, [Body = std::move(Body)] { RunHandler(Body); });
    }

    void showEvent(QShowEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;

private:
    void ApplyStdLook();
    void CentreOnScreen();

    std::unique_ptr<TResModule> FOwnModule;
    const TResModule* FModule; // the owning program's resources; never another's
    int FHelpContext = 0;
    QString FHelpFile;
    QPushButton* FCancelButton = nullptr;
    TPosition FPosition = TPosition::Designed;
    bool FShown = false;
};

} // namespace wdx::common
