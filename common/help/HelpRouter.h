#pragma once
// The help router: takes over every help request of the application and sends
// it to compiled HTML Help or to WinHelp, and shows context pop-ups whose
// texts come from a text-topics file inside the ".chm" file. A program has at
// most one; its main window owns it.

#include "common/help/HelpApplication.h"

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>

#include <cstdint>

class QWidget;

namespace wdx::common {

enum THelpType : std::uint8_t { htWinhelp = 0, htHTMLhelp = 1, htMixedMode = 2 };
enum TShowType : std::uint8_t { stDefault = 0, stMain = 1, stPopup = 2 };

// The help file of a request and the window that owns the help it opens
// (none: the application's own window).
struct THelpTarget {
    QString FileName;
    QWidget* Window = nullptr;
};

class THelpRouter : public QObject {
public:
    // Installs the router as the application's help handler. Throws
    // std::runtime_error "Multiple instances of THelpRouter are not allowed"
    // when a router exists already; that one stays installed.
    explicit THelpRouter(QObject* Owner = nullptr);
    // Closes the help it opened (HELP_QUIT) and puts the previous handler back.
    ~THelpRouter() override;

    // For HTML modes, makes sure the HTML Help engine is loaded.
    void SetHelpType(THelpType Value);
    void SetShowType(TShowType Value) { FShowType = Value; }
    void SetHelpfile(const QString& Value) { FHelpfile = Value; }
    const QString& CHMPopupTopics() const { return FCHMPopupTopics; }
    void SetCHMPopupTopics(const QString& Value) { FCHMPopupTopics = Value; }
    void SetOnHelp(THelpEvent Value) { FOnHelp = std::move(Value); }
    // Kept with the window's settings; nothing consults it.
    void SetValidateID(bool Value) { FValidateID = Value; }
    QPoint PopupPos() const { return FPopupPos; }

    // The application's help handler (see THelpEvent).
    bool RouteHelp(std::uint16_t Command, std::intptr_t Data, bool& CallHelp);
    // Shows the pop-up topic ContextId with its top centre at screen point (X, Y).
    bool ShowPopup(int X, int Y, int ContextId);
    // The application's active form, else the router's owner (when a window).
    QWidget* GetHelpForm() const;
    THelpTarget GetHelpTarget() const;

    // True when the HTML Help entry is bound; loads the engine if needed.
    static bool HtmlHelpAvailable();

private:
    bool RouteHtmlHelp(std::uint16_t Command, std::intptr_t Data, const THelpTarget& Target);

    THelpType FHelpType = htWinhelp;
    TShowType FShowType = stDefault;
    THelpEvent FOldOnHelp;
    THelpEvent FOnHelp;
    QString FHelpfile;
    QString FCHMPopupTopics = QStringLiteral("CSHelp.txt");
    bool FValidateID = false;
    QPoint FPopupPos;
    QPointer<QWidget> FOwnerForm; // the owner, when it is a window
};

// The one router of the program, or none.
THelpRouter* ActiveHelpRouter();

// Loads the HTML Help engine unless it is loaded; whatever fails is swallowed.
// True when the engine is loaded.
bool LoadHtmlHelp();

// Name with the part after its last dot replaced by Ext (".chm"); the dot must
// follow the last path separator ('\\', ':' or '/'), else Ext is appended.
QString ChangeHelpFileExt(const QString& Name, const QString& Ext);

// The router of a main window, with the settings both programs keep for it:
// HTML help, pop-up topics "CSHelp.txt", identifiers not validated.
THelpRouter* CreateHelpRouter1(QWidget* Owner);

} // namespace wdx::common
