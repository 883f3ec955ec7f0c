#pragma once
// Start-up of WDXClntAdmin. The program takes no command-line arguments.

#include "WdxVersion.h"
#include "clntadmin/WDXClntStdClasses.h"
#include "common/Application.h"

namespace wdx::clntadmin {

inline constexpr common::TProgram Program{"NPX Client Administrator", "WDXClntAdmin", &ClntAdminModule,
                                          wdx::AdminDesktopName};

} // namespace wdx::clntadmin
