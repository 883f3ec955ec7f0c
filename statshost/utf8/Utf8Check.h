#pragma once
// The answer reader's check that a whole body is UTF-8, before it is parsed.
// One implementation is built: simdjson's vectorised check where that library
// is available (Linux), else the portable one of wdx_unicode (Windows).
// Both accept exactly the well-formed UTF-8 of the Unicode Standard.

#include <string_view>

namespace wdx::statshost {

bool BodyIsUtf8(std::string_view Body);

} // namespace wdx::statshost
