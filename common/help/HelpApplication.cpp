#include "common/help/HelpApplication.h"

#include "common/StdForm.h"
#include "common/help/HelpService.h"

#include <QApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>

#include <optional>

namespace wdx::common {

namespace {
// Property names under which a widget keeps its help settings.
constexpr const char* HelpFileProperty = "wdxHelpFile";
constexpr const char* HelpContextProperty = "wdxHelpContext";

struct TAppHelp {
    THelpEvent OnHelp;
    QString HelpFile;
};

// The form base may keep a window's help file and context itself; then those
// are the ones, and other widgets keep theirs as properties.
template <class F> std::optional<QString> OwnHelpFile(const QWidget* W) {
    if constexpr (requires(const F& f) { f.HelpFile(); }) {
        if (auto* f = qobject_cast<const F*>(W))
            return f->HelpFile();
    }
    return std::nullopt;
}

template <class F> std::optional<int> OwnHelpContext(const QWidget* W) {
    if constexpr (requires(const F& f) { f.HelpContext(); }) {
        if (auto* f = qobject_cast<const F*>(W))
            return f->HelpContext();
    }
    return std::nullopt;
}

template <class F> bool SetOwnHelpFile(QWidget* W, const QString& FileName) {
    if constexpr (requires(F & f) { f.SetHelpFile(FileName); }) {
        if (auto* f = qobject_cast<F*>(W)) {
            f->SetHelpFile(FileName);
            return true;
        }
    }
    return false;
}

template <class F> bool SetOwnHelpContext(QWidget* W, int Context) {
    if constexpr (requires(F & f) { f.SetHelpContext(Context); }) {
        if (auto* f = qobject_cast<F*>(W)) {
            f->SetHelpContext(Context);
            return true;
        }
    }
    return false;
}

TAppHelp& AppHelp() {
    static TAppHelp state;
    return state;
}

// Packs a screen point the way HELP_SETPOPUP_POS expects it: x in the low
// and y in the high 16 bits, each a signed 16-bit number.
std::intptr_t PackPoint(QPoint P) {
    const auto x = static_cast<std::uint16_t>(static_cast<std::int16_t>(P.x()));
    const auto y = static_cast<std::uint16_t>(static_cast<std::int16_t>(P.y()));
    return static_cast<std::intptr_t>(static_cast<std::int32_t>(std::uint32_t(y) << 16 | x));
}

bool HasContextHelpButton(const QWidget* W) {
    return W && W->window()->windowFlags().testFlag(Qt::WindowContextHelpButtonHint);
}

// Asks for the pop-up of Control's help context at the screen point Pos.
void RequestPopup(const QWidget* Control, QPoint Pos) {
    ApplicationHelpCommand(HELP_SETPOPUP_POS, PackPoint(Pos));
    ApplicationHelpCommand(HELP_CONTEXTPOPUP, EffectiveHelpContext(Control));
}

class THelpKeyFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override {
        if (!Watched->isWidgetType())
            return false;
        auto* w = static_cast<QWidget*>(Watched);
        switch (Event->type()) {
        case QEvent::KeyPress: {
            auto* key = static_cast<QKeyEvent*>(Event);
            if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier || !ApplicationOnHelp())
                return false;
            // Key events reach the focus widget first and then its parents;
            // answer once, where the press started.
            if (QApplication::focusWidget() && QApplication::focusWidget() != w)
                return false;
            if (HasContextHelpButton(w)) {
                // A pop-up below the control, as for a click in context-help mode.
                RequestPopup(w, w->mapToGlobal(QPoint(w->width() / 2, w->height())));
                return true;
            }
            const int context = EffectiveHelpContext(w);
            if (context == 0)
                return false;
            ApplicationHelpContext(context);
            return true;
        }
        case QEvent::QueryWhatsThis:
            if (!ApplicationOnHelp())
                return false;
            Event->accept();
            return true;
        case QEvent::WhatsThis: {
            if (!ApplicationOnHelp())
                return false;
            auto* help = static_cast<QHelpEvent*>(Event);
            RequestPopup(w, help->globalPos());
            Event->accept();
            return true;
        }
        default:
            return false;
        }
    }
};
} // namespace

const THelpEvent& ApplicationOnHelp() {
    return AppHelp().OnHelp;
}
void SetApplicationOnHelp(THelpEvent Handler) {
    AppHelp().OnHelp = std::move(Handler);
}

QString ApplicationHelpFile() {
    return AppHelp().HelpFile;
}
void SetApplicationHelpFile(const QString& FileName) {
    AppHelp().HelpFile = FileName;
}

bool ApplicationHelpCommand(std::uint16_t Command, std::intptr_t Data) {
    // A copy: the handler may replace the slot while it runs.
    THelpEvent handler = AppHelp().OnHelp;
    if (!handler)
        return false;
    bool callHelp = true;
    const bool result = handler(Command, Data, callHelp);
    return callHelp ? false : result;
}

bool ApplicationHelpContext(int Context) {
    return ApplicationHelpCommand(HELP_CONTEXT, Context);
}

bool ApplicationWindowExists() {
    return QCoreApplication::instance() != nullptr;
}

QWidget* ApplicationActiveForm() {
    QWidget* w = QApplication::activeWindow();
    return qobject_cast<TWDXStdForm*>(w) ? w : nullptr;
}

QString FormHelpFile(const QWidget* Form) {
    if (std::optional<QString> own = OwnHelpFile<TWDXStdForm>(Form))
        return *own;
    return Form ? Form->property(HelpFileProperty).toString() : QString();
}

void SetFormHelpFile(QWidget* Form, const QString& FileName) {
    if (!SetOwnHelpFile<TWDXStdForm>(Form, FileName))
        Form->setProperty(HelpFileProperty, FileName);
}

int HelpContextOf(const QWidget* Control) {
    if (std::optional<int> own = OwnHelpContext<TWDXStdForm>(Control))
        return *own;
    return Control ? Control->property(HelpContextProperty).toInt() : 0;
}

void SetHelpContext(QWidget* Control, int Context) {
    if (!SetOwnHelpContext<TWDXStdForm>(Control, Context))
        Control->setProperty(HelpContextProperty, Context);
}

int EffectiveHelpContext(const QWidget* Control) {
    for (const QWidget* w = Control; w; w = w->isWindow() ? nullptr : w->parentWidget())
        if (int c = HelpContextOf(w))
            return c;
    return 0;
}

void InstallHelpKeys() {
    static QPointer<THelpKeyFilter> filter;
    if (filter || !qApp)
        return;
    filter = new THelpKeyFilter(qApp);
    qApp->installEventFilter(filter);
}

} // namespace wdx::common
