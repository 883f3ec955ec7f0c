#include "MonitorLink.h"

#include <cassert>

namespace wdx::monitor {

TConnectionOwner::~TConnectionOwner() {
    if (FCell)
        FCell->Monitor = nullptr;
    // The connection's own destructor tears down what is left; nobody is
    // there to hear of a failure any more.
}

void TConnectionOwner::Adopt(std::unique_ptr<TNPXMonitor> Monitor) {
    assert(!FMonitor);
    FMonitor = std::move(Monitor);
    FCell = FMonitor ? std::make_shared<TMonitorLink::TCell>(TMonitorLink::TCell{FMonitor.get()}) : nullptr;
}

void TConnectionOwner::Destroy() {
    if (FCell) {
        FCell->Monitor = nullptr;
        FCell.reset();
    }
    TNPXMonitor::Destroy(FMonitor);
}

TMonitorLink TConnectionOwner::Link() const {
    return TMonitorLink(FCell);
}

} // namespace wdx::monitor
