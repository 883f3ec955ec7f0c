#pragma once
// The monitor's help ids in "NPXDeploy.chm": its main window's topic, the
// string-table ids of the Help button's messages, and the pop-up topics of
// the component details dialog's controls in "CSHelp.txt"
// (docs/help/CSHelp.txt). A dialog would give a control its pop-up with
// SetHelpContext(Control, Id).

#include "common/help/HelpFile.h"

#include <array>

namespace wdx::monitor::hc {

inline constexpr int MainWindow = 118;
inline constexpr common::THelpMessageIds HelpButtonMessages{2010, 2011};

// The component details dialog.
inline constexpr int DetailsComponentName = 11801; // Label2
inline constexpr int DetailsInvokedBy = 11802;     // Label4
inline constexpr int DetailsActive = 11803;        // Label6
inline constexpr int DetailsMaximum = 11804;       // Edit1, UpDown1
inline constexpr int DetailsRequests = 11805;      // Label9
inline constexpr int DetailsQueued = 11806;        // Label11
inline constexpr int DetailsQueueTime = 11807;     // Label13
inline constexpr int DetailsServiceTime = 11808;   // Label15
inline constexpr int DetailsAction = 11809;        // RadioGroup1
inline constexpr int DetailsOk = 11810;            // Button1
inline constexpr int DetailsCancel = 11811;        // Button2
inline constexpr int DetailsApply = 11812;         // Button3

// Every pop-up id above, for the check that the help file has them all.
inline constexpr std::array PopupIds{
    DetailsComponentName, DetailsInvokedBy,   DetailsActive, DetailsMaximum, DetailsRequests, DetailsQueued,
    DetailsQueueTime,     DetailsServiceTime, DetailsAction, DetailsOk,      DetailsCancel,   DetailsApply};

} // namespace wdx::monitor::hc
