#pragma once
// What the start-up check for 8.3 short file names reads: the machine's
// opt-out under the System root's product key, and the platform's setting
// "NtfsDisable8dot3NameCreation". Both only read, and no failure is
// reported: a key or value that cannot be read decides as the comments say.
//
// On Windows the System root is HKEY_LOCAL_MACHINE, so the setting is the
// file system's own. Linux has no such setting; it is read from the System
// store at the same key path, where an operator (or a test) may set it with
// WDXReg. Nobody sets it by default: no warning.

#include <cstdint>
#include <optional>

namespace wdx::brokerstore {

inline constexpr const char* FileSystemKey = "SYSTEM\\CurrentControlSet\\Control\\FileSystem";
inline constexpr const char* NameCreationValue = "NtfsDisable8dot3NameCreation";
// Under the product key of the System root: "1" turns the check off.
inline constexpr const char* ShortNameOptOutValue = "Disable8dot3Check";

// Whether the check runs: the System root has the product key, and its
// opt-out is not the text "1". A missing opt-out, another text, or one stored
// with another type lets the check run. The User root never counts.
bool ShortNameCheckWanted();

// The platform's setting. Empty when its key cannot be opened; otherwise the
// value, with 0 for one that is missing or not stored as an integer.
std::optional<std::int32_t> NameCreationSetting();

// Whether a setting means that no short names are made: exactly 1.
inline bool ShortNamesDisabled(const std::optional<std::int32_t>& Setting) {
    return Setting && *Setting == 1;
}

} // namespace wdx::brokerstore
