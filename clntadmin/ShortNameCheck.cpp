#include "ShortNameCheck.h"

#include "common/widgets/MessageService.h"

namespace wdx::clntadmin {

std::optional<std::int32_t> TStoreShortNameSetting::NameCreationSetting() const {
    return brokerstore::NameCreationSetting();
}

bool CheckShortNames(QWidget* Owner, const TShortNameSetting& Setting) {
    if (!brokerstore::ShortNameCheckWanted() ||
        !brokerstore::ShortNamesDisabled(Setting.NameCreationSetting()))
        return false;
    common::ShowMessage({Owner, QString::fromLatin1(ShortNameWarning),
                         QString::fromLatin1(ShortNameWarningCaption), common::TMsgIcon::Warning,
                         common::TMsgButtons::Ok});
    return true;
}

} // namespace wdx::clntadmin
