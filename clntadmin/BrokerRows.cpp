#include "BrokerRows.h"

#include "common/StdForm.h"
#include "registry/Registry.h"

namespace wdx::clntadmin {

brokerstore::TBrokerScope ScopeOfTypeText(const common::TWDXStdForm& Form, const QString& Type) {
    return Type == Form.ResText(1046) ? brokerstore::scSystem : brokerstore::scUser;
}

QString TypeTextOf(const common::TWDXStdForm& Form, brokerstore::TBrokerScope Scope) {
    return Form.ResText(Scope == brokerstore::scSystem ? 1046 : 1047);
}

bool SameBrokerName(const QString& A, const QString& B) {
    std::string FoldA, FoldB;
    if (registry::FoldName(StoreText(A), FoldA) && registry::FoldName(StoreText(B), FoldB))
        return FoldA == FoldB;
    return A.compare(B, Qt::CaseInsensitive) == 0;
}

} // namespace wdx::clntadmin
