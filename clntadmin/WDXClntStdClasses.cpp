#include "WDXClntStdClasses.h"

#include "clntadmin/ClntAdminStrings.h"

// Resources compiled into a static library register only when asked to.
static void InitClntAdminIcons() {
    Q_INIT_RESOURCE(ClntAdminIcons);
}

namespace wdx::clntadmin {

const common::TResModule& ClntAdminModule() {
    static const common::TResModule module = [] {
        InitClntAdminIcons();
        return common::TResModule{ClntAdminStrings(), QStringLiteral(":/clntadmin/icons")};
    }();
    return module;
}

} // namespace wdx::clntadmin
