#include "common/help/ChmHelpService.h"

#include "common/help/HelpWindow.h"

#include <QApplication>
#include <QCursor>
#include <QFileInfo>

namespace wdx::common {

namespace {
// "help.chm::/inner/file" -> ("help.chm", "/inner/file").
std::pair<QString, QString> SplitHelpName(const QString& Name) {
    const qsizetype sep = Name.indexOf(QStringLiteral("::"));
    if (sep < 0)
        return {Name, QString()};
    return {Name.left(sep), Name.mid(sep + 2)};
}

// The window a help window belongs to. While a modal dialog runs, help asked
// from it (or for the application) must stay usable, so it belongs to that
// dialog instead of a window the dialog blocks.
QWidget* HelpParent(QWidget* Caller) {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && (!Caller || !modal->isAncestorOf(Caller)) && modal != Caller)
        return modal;
    return Caller ? Caller->window() : nullptr;
}

void Present(QWidget* W) {
    W->show();
    W->raise();
    W->activateWindow();
}
} // namespace

TChmHelpService::~TChmHelpService() {
    CloseAll();
}

bool TChmHelpService::HtmlHelp(QWidget* Caller, const std::optional<QString>& File, unsigned Command,
                               const THtmlHelpData& Data) {
    if (Command == HH_CLOSE_ALL) {
        CloseAll();
        return true;
    }
    if (Command == HH_DISPLAY_TEXT_POPUP) {
        const auto* popup = std::get_if<THHPopup>(&Data);
        return popup && ShowPopup(Caller, File, *popup);
    }
    if (!File)
        return false;
    const auto [path, inner] = SplitHelpName(*File);
    switch (Command) {
    case HH_HELP_CONTEXT: {
        const auto* id = std::get_if<std::intptr_t>(&Data);
        if (!id)
            return false;
        bool created = false;
        THelpWindow* w = WindowFor(path, Caller, created);
        if (!w)
            return false;
        const QString topic = w->File().TopicOfContext(static_cast<std::uint32_t>(*id));
        if (topic.isEmpty() || !w->ShowTopic(topic)) {
            Discard(w, created);
            return false;
        }
        Present(w);
        return true;
    }
    case HH_DISPLAY_TOPIC: {
        bool created = false;
        THelpWindow* w = WindowFor(path, Caller, created);
        if (!w)
            return false;
        const bool shown =
            inner.isEmpty() ? w->ShowContents() && !w->CurrentTopic().isEmpty() : w->ShowTopic(inner);
        if (!shown) {
            Discard(w, created);
            return false;
        }
        Present(w);
        return true;
    }
    case HH_DISPLAY_TOC:
    case HH_DISPLAY_INDEX: {
        bool created = false;
        THelpWindow* w = WindowFor(path, Caller, created);
        if (!w)
            return false;
        const auto* keyword = std::get_if<QString>(&Data);
        const bool shown =
            Command == HH_DISPLAY_TOC ? w->ShowContents() : w->ShowIndex(keyword ? *keyword : QString());
        if (!shown) {
            Discard(w, created);
            return false;
        }
        Present(w);
        return true;
    }
    default:
        return false;
    }
}

bool TChmHelpService::WinHelp(QWidget*, const QString&, std::uint16_t, std::intptr_t) {
    // No WinHelp viewer on this platform.
    return false;
}

QPoint TChmHelpService::CursorPos() const {
    return QCursor::pos();
}

THelpPopup* TChmHelpService::Popup() const {
    return FPopup.data();
}

QList<THelpWindow*> TChmHelpService::Windows() const {
    QList<THelpWindow*> list;
    for (const auto& [path, w] : FWindows)
        if (w)
            list.append(w.data());
    return list;
}

void TChmHelpService::CloseAll() {
    // Help windows are the toolkit's; once the application is gone they are
    // gone with it and must not be touched.
    if (!QCoreApplication::instance()) {
        FWindows.clear();
        FPopup.clear();
        return;
    }
    if (FPopup)
        delete FPopup.data();
    for (auto& [path, w] : FWindows)
        if (w)
            delete w.data();
    FWindows.clear();
}

void TChmHelpService::Discard(THelpWindow* W, bool Created) {
    // A window opened only for a request that failed goes again; one the user
    // already reads stays as it is.
    if (!Created)
        return;
    FWindows.erase(QFileInfo(W->File().Path()).absoluteFilePath());
    delete W;
}

THelpWindow* TChmHelpService::WindowFor(const QString& Path, QWidget* Caller, bool& Created) {
    Created = false;
    const QString key = QFileInfo(Path).absoluteFilePath();
    QWidget* parent = HelpParent(Caller);
    if (auto it = FWindows.find(key); it != FWindows.end() && it->second) {
        THelpWindow* w = it->second.data();
        if (w->parentWidget() != parent) {
            const QRect geometry = w->geometry();
            w->setParent(parent, w->windowFlags());
            w->setGeometry(geometry);
        }
        return w;
    }
    std::shared_ptr<const TChmFile> file = TChmFile::Open(Path);
    if (!file)
        return nullptr;
    auto* w = new THelpWindow(std::move(file), parent);
    FWindows[key] = w;
    Created = true;
    return w;
}

bool TChmHelpService::ShowPopup(QWidget* Caller, const std::optional<QString>& File, const THHPopup& Popup) {
    QString text = Popup.pszText;
    if (File) {
        const auto [path, inner] = SplitHelpName(*File);
        if (inner.isEmpty())
            return false;
        std::unique_ptr<TChmFile> chm = TChmFile::Open(path);
        if (!chm)
            return false;
        std::optional<QString> topic = chm->PopupText(inner, Popup.idString);
        if (!topic)
            return false;
        text = *topic;
    }
    if (text.isEmpty())
        return false;
    if (FPopup)
        delete FPopup.data();
    FPopup = new THelpPopup(text, Popup, HelpParent(Caller));
    FPopup->show();
    return true;
}

} // namespace wdx::common
