#include "brokerstore/ShortNames.h"

#include "brokerstore/BrokerStore.h"
#include "registry/Registry.h"

#include <string>

namespace wdx::brokerstore {

using registry::TRegAccess;
using registry::TRegKey;
using registry::TRegRoot;
using registry::TRegTransaction;

bool ShortNameCheckWanted() {
    TRegTransaction Tx(TRegRoot::System, TRegAccess::Read);
    TRegKey Key;
    if (!Tx.Ok() || !Tx.OpenKey(ProductKey, Key))
        return false;
    std::string Text;
    return !(Key.ReadText(ShortNameOptOutValue, Text) && Text == "1");
}

std::optional<std::int32_t> NameCreationSetting() {
    TRegTransaction Tx(TRegRoot::System, TRegAccess::Read);
    TRegKey Key;
    if (!Tx.Ok() || !Tx.OpenKey(FileSystemKey, Key))
        return std::nullopt;
    std::int32_t Value = 0;
    if (!Key.ReadInt32(NameCreationValue, Value))
        Value = 0;
    return Value;
}

} // namespace wdx::brokerstore
