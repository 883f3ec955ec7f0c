#pragma once
#include "common/ResText.h"

namespace wdx::clntadmin {
// The string table of WDXClntAdmin: every caption, label and message it shows.
const wdx::common::TStringTable& ClntAdminStrings();
} // namespace wdx::clntadmin
