#include "statshost/utf8/Utf8Check.h"

#include <simdjson.h>

namespace wdx::statshost {

bool BodyIsUtf8(std::string_view Body) {
    return simdjson::validate_utf8(Body.data(), Body.size());
}

} // namespace wdx::statshost
