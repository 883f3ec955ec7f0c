#pragma once
// The administrator's places in "NPXDeploy.chm": its main window's topic, the
// string-table ids of the Help button's messages, and the pop-up texts of the
// broker edit dialog in "CSHelp.txt" (docs/help/CSHelp.txt).

#include "common/help/HelpFile.h"

#include <utility>

namespace wdx::clntadmin::hc {

inline constexpr int MainWindow = 116;
inline constexpr common::THelpMessageIds HelpButtonMessages{2005, 2008};

// Pop-up id and the control it describes. The help file has a text for each;
// a control would show it once given the id with SetHelpContext (none is yet).
inline constexpr std::pair<int, const char*> PopupTopics[] = {
    {11601, "Edit1"},          {11602, "Edit2"},       {11603, "Edit3, UpDown1"},
    {11604, "Edit4, UpDown2"}, {11605, "RadioGroup1"}, {11606, "chkbConnectionPooling"},
    {11607, "chkbComms"},      {11608, "chkbCalls"},   {11609, "OKBtn"},
    {11610, "CancelBtn"}};

} // namespace wdx::clntadmin::hc
