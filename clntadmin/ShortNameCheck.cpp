#include "ShortNameCheck.h"

#include "brokerstore/BrokerStore.h"
#include "common/widgets/MessageService.h"
#include "registry/Registry.h"

#include <string>

namespace wdx::clntadmin {

using registry::TRegAccess;
using registry::TRegKey;
using registry::TRegRoot;
using registry::TRegTransaction;

std::optional<std::int32_t> TStoreShortNameSetting::NameCreationSetting() const {
    TRegTransaction Tx(TRegRoot::System, TRegAccess::Read);
    TRegKey Key;
    if (!Tx.Ok() || !Tx.OpenKey(FileSystemKey, Key))
        return std::nullopt;
    std::int32_t Value = 0;
    // Missing, or stored as anything but an integer: taken as 0.
    if (!Key.ReadInt32(NameCreationValue, Value))
        Value = 0;
    return Value;
}

namespace {
// The check runs on a machine whose System root has the product key, unless
// that key holds the opt-out text "1". Only the System root counts, and a
// failed read of the opt-out (another type than text) lets the check run.
bool CheckWanted() {
    TRegTransaction Tx(TRegRoot::System, TRegAccess::Read);
    TRegKey Key;
    if (!Tx.Ok() || !Tx.OpenKey(brokerstore::ProductKey, Key))
        return false;
    std::string Text;
    return !(Key.ReadText(ShortNameOptOutValue, Text) && Text == "1");
}
} // namespace

bool CheckShortNames(QWidget* Owner, const TShortNameSetting& Setting) {
    if (!CheckWanted())
        return false;
    std::optional<std::int32_t> Value = Setting.NameCreationSetting();
    if (!Value || *Value != 1)
        return false;
    common::ShowMessage({Owner, QString::fromLatin1(ShortNameWarning),
                         QString::fromLatin1(ShortNameWarningCaption), common::TMsgIcon::Warning,
                         common::TMsgButtons::Ok});
    return true;
}

} // namespace wdx::clntadmin
