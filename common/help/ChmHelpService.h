#pragma once
// The help service of this platform: HTML Help requests open the ".chm" file
// and show it in a help window of ours; WinHelp has no viewer here, so its
// requests fail.

#include "common/help/HelpService.h"

#include <QList>
#include <QPointer>
#include <QString>

#include <map>

namespace wdx::common {

class THelpWindow;
class THelpPopup;

class TChmHelpService : public THelpService {
public:
    TChmHelpService() = default;
    ~TChmHelpService() override;

    bool LoadHtmlHelpLibrary() override { return true; } // the reader is linked in
    bool BindHtmlHelp() override { return true; }
    void FreeHtmlHelpLibrary() override { CloseAll(); }

    // HH_HELP_CONTEXT (Data: context id), HH_DISPLAY_TOPIC, HH_DISPLAY_TOC,
    // HH_DISPLAY_INDEX (Data: keyword), HH_DISPLAY_TEXT_POPUP (Data: pop-up
    // record; File: "help.chm::/CSHelp.txt" or none), HH_CLOSE_ALL. False
    // when the file, the topic or the pop-up text cannot be read, and for
    // other commands.
    bool HtmlHelp(QWidget* Caller, const std::optional<QString>& File, unsigned Command,
                  const THtmlHelpData& Data) override;
    bool WinHelp(QWidget* Owner, const QString& File, std::uint16_t Command, std::intptr_t Data) override;
    QPoint CursorPos() const override;

    // What is open now (tests and the program's own checks).
    QList<THelpWindow*> Windows() const;
    THelpPopup* Popup() const;
    void CloseAll();

private:
    // The window of the help file Path, opened (and the file read) if needed;
    // nullptr when the file cannot be read.
    THelpWindow* WindowFor(const QString& Path, QWidget* Caller, bool& Created);
    void Discard(THelpWindow* W, bool Created);
    bool ShowPopup(QWidget* Caller, const std::optional<QString>& File, const THHPopup& Popup);

    std::map<QString, QPointer<THelpWindow>> FWindows; // by absolute file path
    QPointer<THelpPopup> FPopup;
};

} // namespace wdx::common
