#pragma once
// Where a main window finds the help file "NPXDeploy.chm", and what its Help
// button does. Both programs behave alike; each hands in what is its own:
// the window's help context (SetHelpContext), the Help button's message ids,
// and the reading of the client directory from the settings store.

#include <QString>

#include <functional>
#include <string>

class QWidget;

namespace wdx::common {

class TWDXStdForm;

inline constexpr const char* HelpFileName = "NPXDeploy.chm";
inline constexpr const char* DocumentationDir = "Documentation";

// The Help button's two messages, by string-table id of the program.
struct THelpMessageIds {
    int CannotFindHelpFile;   // "Cannot find help file:"
    int CannotFindOnlineHelp; // "Cannot find online help: %s %d."
};

// The client directory as stored ("ClientDir" of the System root's product
// key, UTF-8); empty when there is none or it cannot be read.
using TClientDirLookup = std::function<std::string()>;

// The last path LocateHelpFile tried; empty before the first search.
QString HelpFileCandidate();

// Looks for the help file: "NPXDeploy.chm" in the current directory, else in
// the "Documentation" directory beside the client directory that
// ReadClientDir gives (asked only then), else "../Documentation/NPXDeploy.chm".
// Sets Form's help file to the path found, or leaves it empty.
void LocateHelpFile(QWidget& Form, const TClientDirLookup& ReadClientDir);

// The Help button of a main window: opens the topic of Form's help context in
// Form's help file through the application's help request, or tells why not.
void HelpBtnClick(TWDXStdForm& Form, const THelpMessageIds& Messages);

// Template filled the way the string table's "%s" and "%d" are meant: each
// takes the next value in turn ("%%" is a percent sign). Built in full, however
// long the values.
QString FormatResText(const QString& Template, const QString& S, int D);

} // namespace wdx::common
