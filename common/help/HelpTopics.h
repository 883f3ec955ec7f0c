#pragma once
// Help contexts of the controls of the dialogs that have a context-help
// button: the ids of their pop-up topics in "CSHelp.txt" of "NPXDeploy.chm"
// (docs/help/CSHelp.txt). A dialog gives a control its pop-up with
// SetHelpContext(Control, Id).

#include <array>

namespace wdx::common::hc {

// Client Administrator, broker edit dialog.
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

// Monitor, component details dialog.
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
inline constexpr std::array AllPopupIds{
    EditBrokerName,        EditHostName,     EditPort,           EditTimeOut,    EditScope,
    EditConnectionPooling, EditLogComms,     EditLogCalls,       EditOk,         EditCancel,
    DetailsComponentName,  DetailsInvokedBy, DetailsActive,      DetailsMaximum, DetailsRequests,
    DetailsQueued,         DetailsQueueTime, DetailsServiceTime, DetailsAction,  DetailsOk,
    DetailsCancel,         DetailsApply};

} // namespace wdx::common::hc
