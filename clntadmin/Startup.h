#pragma once
// Start-up of WDXClntAdmin: the application object's title, name and icon.

namespace wdx::common {
class TWDXApplication;
}

namespace wdx::clntadmin {

inline constexpr const char* ProgramTitle = "NPX Client Administrator";
inline constexpr const char* ProgramName = "WDXClntAdmin";

// Title, name, standard font and program icon of the administrator's
// application object. The program takes no command-line arguments.
void InitApplication(common::TWDXApplication& App);

} // namespace wdx::clntadmin
