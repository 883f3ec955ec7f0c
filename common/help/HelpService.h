#pragma once
// The platform's help engines as the help router sees them: compiled HTML Help
// (".chm"), WinHelp (".hlp"), the loading of the HTML Help engine and the mouse
// position for context pop-ups. The router makes every such call through the
// one service installed here, so that another platform (or a test) can stand
// in without the router noticing.

#include <QPoint>
#include <QRect>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <variant>

#ifdef _WIN32
#include <windows.h>
#endif

class QWidget;

namespace wdx::common {

// WinHelp command numbers: what the application's help requests carry. On
// Windows they are the platform's own (macros of <windows.h>, same values).
#ifndef _WIN32
inline constexpr std::uint16_t HELP_CONTEXT = 0x0001;
inline constexpr std::uint16_t HELP_QUIT = 0x0002;
inline constexpr std::uint16_t HELP_INDEX = 0x0003;
inline constexpr std::uint16_t HELP_CONTEXTPOPUP = 0x0008;
inline constexpr std::uint16_t HELP_CONTEXTMENU = 0x000A;
inline constexpr std::uint16_t HELP_FINDER = 0x000B;
inline constexpr std::uint16_t HELP_SETPOPUP_POS = 0x000D;
inline constexpr std::uint16_t HELP_KEY = 0x0101;
inline constexpr std::uint16_t HELP_PARTIALKEY = 0x0105;
#endif

// HTML Help commands.
inline constexpr unsigned HH_DISPLAY_TOPIC = 0x0000;
inline constexpr unsigned HH_DISPLAY_TOC = 0x0001;
inline constexpr unsigned HH_DISPLAY_INDEX = 0x0002;
inline constexpr unsigned HH_DISPLAY_TEXT_POPUP = 0x000E;
inline constexpr unsigned HH_HELP_CONTEXT = 0x000F;
inline constexpr unsigned HH_CLOSE_ALL = 0x0012;

// The pop-up record of HH_DISPLAY_TEXT_POPUP, field for field.
struct THHPopup {
    int cbStruct = 52;
    std::intptr_t hinst = 0;
    unsigned idString = 0;  // topic id in the text-topics file
    QString pszText;        // shown when there is no file to take a topic from
    QPoint pt;              // screen point: the top centre of the pop-up
    int clrForeground = -1; // -1: the default colour
    int clrBackground = -1;
    QRect rcMargins{QPoint(-1, -1), QPoint(-1, -1)}; // left, top, right, bottom; -1: default
    QString pszFont;                                 // "face, size"
};

// What an HTML Help call passes besides its command: a number (a context id,
// or 0), a keyword text (HH_DISPLAY_INDEX), or a pop-up record.
using THtmlHelpData = std::variant<std::intptr_t, QString, THHPopup>;

class THelpService {
public:
    virtual ~THelpService() = default;

    // Loads the HTML Help engine; true when it is loaded.
    virtual bool LoadHtmlHelpLibrary() = 0;
    // Binds the engine's entry point; only asked after a successful load.
    virtual bool BindHtmlHelp() = 0;
    // Releases the engine and everything it shows.
    virtual void FreeHtmlHelpLibrary() = 0;

    // File: a ".chm" file, optionally followed by "::/" and a file inside it;
    // nullopt for calls that take no file. Caller owns the help window shown.
    // True on success (the engine's non-zero result).
    virtual bool HtmlHelp(QWidget* Caller, const std::optional<QString>& File, unsigned Command,
                          const THtmlHelpData& Data) = 0;
    virtual bool WinHelp(QWidget* Owner, const QString& File, std::uint16_t Command, std::intptr_t Data) = 0;

    // Screen position of the mouse cursor.
    virtual QPoint CursorPos() const = 0;
};

// The service in use: the one installed by a THelpServiceScope, else the
// platform's own (created on first use).
THelpService& HelpService();

// Puts Service in place for the life of the scope; on leaving, the engine
// loaded through it is released and the previous service is back (tests).
class THelpServiceScope {
public:
    explicit THelpServiceScope(THelpService& Service);
    ~THelpServiceScope();
    THelpServiceScope(const THelpServiceScope&) = delete;
    THelpServiceScope& operator=(const THelpServiceScope&) = delete;

private:
    THelpService* FPrevious;
};

// Module state of the HTML Help engine, kept for the router: the engine is
// loaded on first need, a failed load is tried again at the next need, and it
// stays loaded until the program ends.
bool HtmlHelpLibraryLoaded();
bool HtmlHelpBound();
void SetHtmlHelpState(bool Loaded, bool Bound);

} // namespace wdx::common
