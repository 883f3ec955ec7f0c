#pragma once
// Conversions between the wide UTF-16 texts of the monitor server and the
// 8-bit UTF-8 texts of records, titles and controls.
//
// Nothing is dropped or cut: a unit that cannot be converted (a lone
// surrogate in UTF-16, an ill-formed byte in UTF-8) becomes U+FFFD, the
// replacement character, so the operator sees that something was there.
// Embedded zero characters are kept.

#include <string>

namespace wdx::monitor {

std::string WideToUtf8(const std::u16string& Text);
std::u16string Utf8ToWide(const std::string& Text);

} // namespace wdx::monitor
