#pragma once
// The start-up warning when the file system does not generate 8.3 short
// file names, which the client software needs.

#include "brokerstore/ShortNames.h"

#include <cstdint>
#include <optional>

class QWidget;

namespace wdx::clntadmin {

// The platform's short-name setting "NtfsDisable8dot3NameCreation", read
// through this interface so that the check does not depend on where a
// platform keeps it.
class TShortNameSetting {
public:
    virtual ~TShortNameSetting() = default;
    // Empty when the key that holds the setting cannot be opened; otherwise
    // the setting, with 0 for a value that is missing or not an integer.
    virtual std::optional<std::int32_t> NameCreationSetting() const = 0;
};

// The setting as the store holds it (brokerstore::NameCreationSetting).
class TStoreShortNameSetting : public TShortNameSetting {
public:
    std::optional<std::int32_t> NameCreationSetting() const override;
};

using brokerstore::FileSystemKey;
using brokerstore::NameCreationValue;
using brokerstore::ShortNameOptOutValue;

inline constexpr const char* ShortNameWarning =
    "VKR Client will not work correctly with 8.3 file name generation "
    "disabled.  Contact your supplier for further information.";
inline constexpr const char* ShortNameWarningCaption = "Warning";

// Reads the opt-out and the setting and, when the setting is exactly 1,
// shows the warning owned by Owner. Nothing else changes and no failure is
// reported. True when the warning was shown.
bool CheckShortNames(QWidget* Owner, const TShortNameSetting& Setting);

} // namespace wdx::clntadmin
