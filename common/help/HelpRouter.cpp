#include "common/help/HelpRouter.h"

#include "common/help/HelpService.h"

#include <QWidget>

#include <stdexcept>

namespace wdx::common {

namespace {
THelpRouter*& ActiveRouterSlot() {
    static THelpRouter* router = nullptr;
    return router;
}

const QString ChmExt = QStringLiteral(".chm");
const QString HlpExt = QStringLiteral(".hlp");

// Reads a point packed as two signed 16-bit numbers (x low, y high).
QPoint UnpackPoint(std::intptr_t Data) {
    const auto bits = static_cast<std::uint32_t>(Data);
    return {static_cast<std::int16_t>(bits & 0xFFFF), static_cast<std::int16_t>(bits >> 16)};
}

// A keyword request carries a pointer to its zero-terminated text.
QString KeywordOf(std::intptr_t Data) {
    return Data ? QString::fromUtf8(reinterpret_cast<const char*>(Data)) : QString();
}
} // namespace

THelpRouter* ActiveHelpRouter() {
    return ActiveRouterSlot();
}

bool LoadHtmlHelp() {
    if (!HtmlHelpLibraryLoaded()) {
        bool loaded = false;
        bool bound = false;
        try {
            loaded = HelpService().LoadHtmlHelpLibrary();
            if (loaded)
                bound = HelpService().BindHtmlHelp();
        } catch (...) {
            // An engine that cannot be loaded leaves HTML requests unserved;
            // the next need tries again.
        }
        SetHtmlHelpState(loaded, bound);
    }
    return HtmlHelpLibraryLoaded();
}

QString ChangeHelpFileExt(const QString& Name, const QString& Ext) {
    qsizetype dot = -1;
    for (qsizetype i = Name.size() - 1; i >= 0; --i) {
        const QChar c = Name.at(i);
        if (c == u'\\' || c == u':' || c == u'/')
            break;
        if (c == u'.') {
            dot = i;
            break;
        }
    }
    return (dot < 0 ? Name : Name.left(dot)) + Ext;
}

THelpRouter::THelpRouter(QObject* Owner) : QObject(Owner) {
    if (ActiveRouterSlot())
        throw std::runtime_error("Multiple instances of THelpRouter are not allowed");
    FOwnerForm = Owner && Owner->isWidgetType() ? static_cast<QWidget*>(Owner) : nullptr;
    FOldOnHelp = ApplicationOnHelp();
    SetApplicationOnHelp([this](std::uint16_t Command, std::intptr_t Data, bool& CallHelp) {
        return RouteHelp(Command, Data, CallHelp);
    });
    ActiveRouterSlot() = this;
    // The keys that ask for help reach this router through the application.
    InstallHelpKeys();
}

THelpRouter::~THelpRouter() {
    if (ApplicationWindowExists() && ApplicationHelpFile().isEmpty())
        ApplicationHelpCommand(HELP_QUIT, 0);
    SetApplicationOnHelp(std::move(FOldOnHelp));
    ActiveRouterSlot() = nullptr;
}

void THelpRouter::SetHelpType(THelpType Value) {
    if (Value == FHelpType)
        return;
    FHelpType = Value;
    if (Value == htHTMLhelp || Value == htMixedMode)
        HtmlHelpAvailable();
}

bool THelpRouter::HtmlHelpAvailable() {
    if (!HtmlHelpLibraryLoaded())
        LoadHtmlHelp();
    return HtmlHelpBound();
}

QWidget* THelpRouter::GetHelpForm() const {
    if (QWidget* active = ApplicationActiveForm())
        return active;
    return FOwnerForm.data();
}

THelpTarget THelpRouter::GetHelpTarget() const {
    THelpTarget target{ApplicationHelpFile(), nullptr};
    QWidget* form = GetHelpForm();
    if (form && !FormHelpFile(form).isEmpty())
        target = {FormHelpFile(form), form};
    if (!FHelpfile.isEmpty())
        target = {FHelpfile, nullptr};
    // A dialog has no help file of its own: its help comes from the file the
    // main window found, rather than from no file at all.
    if (target.FileName.isEmpty() && FOwnerForm && form != FOwnerForm && !FormHelpFile(FOwnerForm).isEmpty())
        target = {FormHelpFile(FOwnerForm), FOwnerForm.data()};
    return target;
}

bool THelpRouter::RouteHelp(std::uint16_t Command, std::intptr_t Data, bool& CallHelp) {
    bool result = false;
    if (FOnHelp) {
        result = FOnHelp(Command, Data, CallHelp);
        if (!CallHelp)
            return result;
    }
    if (FOldOnHelp) {
        result = FOldOnHelp(Command, Data, CallHelp);
        if (!CallHelp)
            return result;
    }
    if (FShowType == stMain) {
        if (Command == HELP_CONTEXTPOPUP)
            Command = HELP_CONTEXT;
        else if (Command == HELP_SETPOPUP_POS)
            Command = 0;
    }
    const THelpTarget target = GetHelpTarget();
    const bool popupCommand = Command == HELP_CONTEXTPOPUP || Command == HELP_SETPOPUP_POS;
    const bool html = FHelpType == htHTMLhelp || (FHelpType == htMixedMode && !popupCommand);
    if (!html) {
        result = Command == 0 ? true
                              : HelpService().WinHelp(
                                    target.Window, ChangeHelpFileExt(target.FileName, HlpExt), Command, Data);
        CallHelp = false;
        return result;
    }
    if (!HtmlHelpAvailable())
        return result;
    result = RouteHtmlHelp(Command, Data, target);
    CallHelp = false;
    return result;
}

bool THelpRouter::RouteHtmlHelp(std::uint16_t Command, std::intptr_t Data, const THelpTarget& Target) {
    THelpService& service = HelpService();
    const QString file = ChangeHelpFileExt(Target.FileName, ChmExt);
    switch (Command) {
    case HELP_CONTEXT:
        return service.HtmlHelp(Target.Window, file, HH_HELP_CONTEXT, THtmlHelpData{Data});
    case HELP_QUIT:
        return service.HtmlHelp(Target.Window, std::nullopt, HH_CLOSE_ALL, THtmlHelpData{std::intptr_t(0)});
    case HELP_INDEX:
    case HELP_FINDER:
        return service.HtmlHelp(Target.Window, file, HH_DISPLAY_TOC, THtmlHelpData{std::intptr_t(0)});
    case HELP_CONTEXTPOPUP:
        if (FPopupPos.isNull())
            FPopupPos = service.CursorPos();
        ShowPopup(FPopupPos.x(), FPopupPos.y(), static_cast<int>(Data));
        FPopupPos = QPoint();
        return true;
    case HELP_SETPOPUP_POS:
        FPopupPos = UnpackPoint(Data);
        return false;
    case 15: // the router's own: contents (Data 0) or index
        return service.HtmlHelp(Target.Window, file, Data == 0 ? HH_DISPLAY_TOC : HH_DISPLAY_INDEX,
                                THtmlHelpData{std::intptr_t(0)});
    case HELP_KEY:
    case HELP_PARTIALKEY:
        return service.HtmlHelp(Target.Window, file, HH_DISPLAY_INDEX, THtmlHelpData{KeywordOf(Data)});
    default:
        return false;
    }
}

bool THelpRouter::ShowPopup(int X, int Y, int ContextId) {
    if (!HtmlHelpAvailable())
        return false;
    THHPopup popup;
    popup.idString = static_cast<unsigned>(ContextId);
    popup.pt = QPoint(X, Y);
    popup.pszFont = QStringLiteral("MS Sans Serif, 8");
    if (ContextId != 0) {
        if (FCHMPopupTopics.isEmpty())
            FCHMPopupTopics = QStringLiteral("CSHelp.txt");
        const THelpTarget target = GetHelpTarget();
        const QString name =
            ChangeHelpFileExt(target.FileName, ChmExt) + QStringLiteral("::/") + FCHMPopupTopics;
        return HelpService().HtmlHelp(target.Window, name, HH_DISPLAY_TEXT_POPUP, THtmlHelpData{popup});
    }
    return HelpService().HtmlHelp(GetHelpForm(), std::nullopt, HH_DISPLAY_TEXT_POPUP, THtmlHelpData{popup});
}

THelpRouter* CreateHelpRouter1(QWidget* Owner) {
    auto* router = new THelpRouter(Owner);
    router->setObjectName(QStringLiteral("HelpRouter1"));
    router->SetHelpType(htHTMLhelp);
    router->SetCHMPopupTopics(QStringLiteral("CSHelp.txt"));
    router->SetValidateID(false);
    return router;
}

} // namespace wdx::common
