#pragma once
// The administrator's help ids in "NPXDeploy.chm": its main window's topic,
// the string-table ids of the Help button's messages, and the pop-up topics
// of the broker edit dialog's controls in "CSHelp.txt" (docs/help/CSHelp.txt).
// A dialog would give a control its pop-up with SetHelpContext(Control, Id).

#include "common/help/HelpFile.h"

#include <array>

namespace wdx::clntadmin::hc {

inline constexpr int MainWindow = 116;
inline constexpr common::THelpMessageIds HelpButtonMessages{2005, 2008};

// The broker edit dialog.
inline constexpr int EditBrokerName = 11601;        // Edit1
inline constexpr int EditHostName = 11602;          // Edit2
inline constexpr int EditPort = 11603;              // Edit3, UpDown1
inline constexpr int EditTimeOut = 11604;           // Edit4, UpDown2
inline constexpr int EditScope = 11605;             // RadioGroup1
inline constexpr int EditConnectionPooling = 11606; // chkbConnectionPooling
inline constexpr int EditLogComms = 11607;          // chkbComms
inline constexpr int EditLogCalls = 11608;          // chkbCalls
inline constexpr int EditOk = 11609;                // OKBtn
inline constexpr int EditCancel = 11610;            // CancelBtn

// Every pop-up id above, for the check that the help file has them all.
inline constexpr std::array PopupIds{
    EditBrokerName,        EditHostName, EditPort,     EditTimeOut, EditScope,
    EditConnectionPooling, EditLogComms, EditLogCalls, EditOk,      EditCancel};

} // namespace wdx::clntadmin::hc
