#pragma once
// The rows of the broker list, which the list window fills and the edit
// dialog reads and changes: one row per definition, in these columns.

#include "brokerstore/BrokerStore.h"

#include <QString>
#include <string>

namespace wdx::common {
class TWDXStdForm;
}

namespace wdx::clntadmin {

enum TBrokerColumn { colName = 0, colHostName = 1, colPort = 2, colTimeOut = 3, colType = 4 };

// The scope a row's Type text stands for: System only for exactly the text
// of 1046, with its case; anything else is User.
brokerstore::TBrokerScope ScopeOfTypeText(const common::TWDXStdForm& Form, const QString& Type);
// The Type text of a scope: 1047 "User" or 1046 "System".
QString TypeTextOf(const common::TWDXStdForm& Form, brokerstore::TBrokerScope Scope);

// Broker names compare as the store compares key names, so that a name the
// list calls new is never one the store would take for an existing key.
bool SameBrokerName(const QString& A, const QString& B);

// Store texts are UTF-8.
inline std::string StoreText(const QString& Text) {
    return Text.toStdString();
}
inline QString FromStore(const std::string& Text) {
    return QString::fromStdString(Text);
}

} // namespace wdx::clntadmin
