#include "statshost/utf8/Utf8Check.h"

#include "unicode/Utf.h"

namespace wdx::statshost {

bool BodyIsUtf8(std::string_view Body) {
    return unicode::IsValidUtf8(Body);
}

} // namespace wdx::statshost
