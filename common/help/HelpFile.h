#pragma once
// Where a main window finds the help file "NPXDeploy.chm", and what its Help
// button does. Both programs behave alike; they differ in their message ids
// and their window's help context.

#include <QString>

class QWidget;

namespace wdx::common {

class TWDXStdForm;

inline constexpr const char* HelpFileName = "NPXDeploy.chm";
inline constexpr const char* DocumentationDir = "Documentation";

// Help contexts of the two main windows.
inline constexpr int MonitorHelpContext = 118;
inline constexpr int ClntAdminHelpContext = 116;

// The Help button's two messages, by string-table id of the program.
struct THelpMessageIds {
    int CannotFindHelpFile;   // "Cannot find help file:"
    int CannotFindOnlineHelp; // "Cannot find online help: %s %d."
};
inline constexpr THelpMessageIds MonitorHelpMessages{2010, 2011};
inline constexpr THelpMessageIds ClntAdminHelpMessages{2005, 2008};

// The last path LocateHelpFile tried; empty before the first search.
QString HelpFileCandidate();

// Looks for the help file: "NPXDeploy.chm" in the current directory, else in
// the "Documentation" directory beside the client directory that the System
// root's product key names in "ClientDir", else "../Documentation/NPXDeploy.chm".
// Sets Form's help file to the path found, or leaves it empty.
void LocateHelpFile(QWidget& Form);

// The Help button of a main window: opens the topic of Form's help context in
// Form's help file through the application's help request, or tells why not.
void HelpBtnClick(TWDXStdForm& Form, const THelpMessageIds& Messages);

// Template filled the way the string table's "%s" and "%d" are meant: each
// takes the next value in turn ("%%" is a percent sign). Built in full, however
// long the values.
QString FormatResText(const QString& Template, const QString& S, int D);

} // namespace wdx::common
