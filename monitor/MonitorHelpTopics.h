#pragma once
// The monitor's places in "NPXDeploy.chm": its main window's topic, the
// string-table ids of the Help button's messages, and the pop-up texts of the
// component details dialog in "CSHelp.txt" (docs/help/CSHelp.txt).

#include "common/help/HelpFile.h"

#include <utility>

namespace wdx::monitor::hc {

inline constexpr int MainWindow = 118;
inline constexpr common::THelpMessageIds HelpButtonMessages{2010, 2011};

// Pop-up id and the control it describes, as for the administrator's edit
// dialog (ClntAdminHelpTopics.h).
inline constexpr std::pair<int, const char*> PopupTopics[] = {
    {11801, "Label2"},      {11802, "Label4"},  {11803, "Label6"},  {11804, "Edit1, UpDown1"},
    {11805, "Label9"},      {11806, "Label11"}, {11807, "Label13"}, {11808, "Label15"},
    {11809, "RadioGroup1"}, {11810, "Button1"}, {11811, "Button2"}, {11812, "Button3"}};

} // namespace wdx::monitor::hc
