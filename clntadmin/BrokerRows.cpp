#include "BrokerRows.h"

#include "common/StdForm.h"

namespace wdx::clntadmin {

brokerstore::TBrokerScope ScopeOfTypeText(const common::TWDXStdForm& Form, const QString& Type) {
    return Type == Form.ResText(1046) ? brokerstore::scSystem : brokerstore::scUser;
}

QString TypeTextOf(const common::TWDXStdForm& Form, brokerstore::TBrokerScope Scope) {
    return Form.ResText(Scope == brokerstore::scSystem ? 1046 : 1047);
}

bool SameBrokerName(const QString& A, const QString& B) {
    return brokerstore::SameBrokerName(StoreText(A), StoreText(B));
}

} // namespace wdx::clntadmin
