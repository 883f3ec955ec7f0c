#include "WDXMntrStdClasses.h"

#include "monitor/MonitorStrings.h"

// Resources compiled into a static library register only when asked to.
static void InitMonitorIcons() {
    Q_INIT_RESOURCE(MonitorIcons);
}

namespace wdx::monitor {

const common::TResModule& MonitorModule() {
    static const common::TResModule module = [] {
        InitMonitorIcons();
        return common::TResModule{MonitorStrings(), QStringLiteral(":/monitor/icons")};
    }();
    return module;
}

} // namespace wdx::monitor
