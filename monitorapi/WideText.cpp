#include "monitorapi/WideText.h"

#include <unicode/ustring.h>

#include <climits>

namespace wdx::monitor {

namespace {
constexpr UChar32 Replacement = 0xFFFD;
}

// ICU's substituting conversions put U+FFFD wherever a lone surrogate or an
// ill-formed byte sequence stands, and keep embedded zero characters.

std::string WideToUtf8(const std::u16string& Text) {
    if (Text.empty() || Text.size() > std::size_t(INT32_MAX / 3))
        return {};
    std::string out(Text.size() * 3, '\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), int32_t(out.size()), &length, Text.data(), int32_t(Text.size()),
                       Replacement, nullptr, &status);
    if (U_FAILURE(status))
        return {};
    out.resize(std::size_t(length));
    return out;
}

std::u16string Utf8ToWide(const std::string& Text) {
    if (Text.empty() || Text.size() > std::size_t(INT32_MAX))
        return {};
    // Never more UTF-16 units than bytes.
    std::u16string out(Text.size(), u'\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(out.data(), int32_t(out.size()), &length, Text.data(), int32_t(Text.size()),
                         Replacement, nullptr, &status);
    if (U_FAILURE(status))
        return {};
    out.resize(std::size_t(length));
    return out;
}

} // namespace wdx::monitor
