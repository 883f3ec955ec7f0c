#include "common/StdForm.h"

#include <QFont>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QScreen>

namespace wdx::common {

namespace {
constexpr QLatin1StringView StdFontFamily("MS Sans Serif");

void RegisterFontStandIns() {
    // Closest first: same metrics family, then any plain sans-serif.
    static const bool done = [] {
        QFont::insertSubstitutions(StdFontFamily,
                                   {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Liberation Sans"),
                                    QStringLiteral("Arimo"), QStringLiteral("Arial"),
                                    QStringLiteral("DejaVu Sans"), QStringLiteral("FreeSans")});
        return true;
    }();
    (void)done;
}
} // namespace

TWDXStdForm::TWDXStdForm(const TResModule& Module, QWidget* Parent) : QDialog(Parent), FModule(&Module) {
    ApplyStdLook();
}

TWDXStdForm::TWDXStdForm(const TStringTable& Table, QWidget* Parent)
    : QDialog(Parent), FOwnModule(std::make_unique<TResModule>(TResModule{Table, QString()})),
      FModule(FOwnModule.get()) {
    ApplyStdLook();
}

TWDXStdForm::~TWDXStdForm() = default;

void TWDXStdForm::ApplyStdLook() {
    setFont(StdFont());
    QPalette p = palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        p.setColor(group, QPalette::Window, p.color(group, QPalette::Button));
    setPalette(p);
}

QFont TWDXStdForm::StdFont() {
    RegisterFontStandIns();
    QFont f(StdFontFamily, 8);
    f.setStyleHint(QFont::SansSerif);
    return f;
}

std::u16string TWDXStdForm::LoadResText(int Id) const {
    return common::LoadResText(FModule->Strings, Id);
}

QString TWDXStdForm::ResText(int Id) const {
    return QString::fromStdU16String(LoadResText(Id));
}

QPixmap TWDXStdForm::LoadIconImage(const QString& Name, int Size) const {
    return common::LoadIconImage(*FModule, Name, Size);
}

QIcon TWDXStdForm::LoadProgramIcon(const QString& Name) const {
    return common::LoadProgramIcon(*FModule, Name);
}

void TWDXStdForm::LoadHeaderImage(QLabel* Image) const {
    Image->setPixmap(LoadIconImage(QStringLiteral("ICON_VKR"), StdIconSize));
    Image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void TWDXStdForm::showEvent(QShowEvent* Event) {
    QDialog::showEvent(Event);
    if (FShown)
        return;
    FShown = true;
    if (FPosition == TPosition::ScreenCenter)
        CentreOnScreen();
    RunHandler([this] { FormShow(); });
}

void TWDXStdForm::CentreOnScreen() {
    QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!s)
        return;
    const QRect area = s->availableGeometry();
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
}

void TWDXStdForm::keyPressEvent(QKeyEvent* Event) {
    if (Event->key() == Qt::Key_Escape && Event->modifiers() == Qt::NoModifier) {
        if (FCancelButton && FCancelButton->isEnabled() && FCancelButton->isVisible())
            FCancelButton->click();
        Event->accept();
        return;
    }
    QDialog::keyPressEvent(Event);
}

} // namespace wdx::common
