#include "common/ResText.h"

#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <climits>

namespace wdx::common {

namespace {
// Ill-formed bytes become U+FFFD; the tables are ours, so this is a guard only.
std::u16string Widen(std::string_view Text) {
    if (Text.empty() || Text.size() > std::size_t(INT32_MAX))
        return {};
    std::u16string out(Text.size(), u'\0'); // never more UTF-16 units than bytes
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(out.data(), int32_t(out.size()), &length, Text.data(), int32_t(Text.size()), 0xFFFD,
                         nullptr, &status);
    if (U_FAILURE(status))
        return {};
    out.resize(std::size_t(length));
    return out;
}
} // namespace

std::string_view TStringTable::Find(int Id) const {
    auto it = FTexts.find(Id);
    return it == FTexts.end() ? std::string_view{} : it->second;
}

std::u16string LoadResText(const TStringTable& Table, int Id) {
    std::string_view text = Table.Find(Id);
    std::u16string s = Widen(text.empty() ? std::string_view(MissingResText) : text);
    // The loader's buffer holds 127 characters and the terminating zero.
    if (s.size() > std::size_t(ResTextMaxChars)) {
        std::size_t cut = ResTextMaxChars;
        // Never split a surrogate pair: a half character is no character.
        if (U16_IS_LEAD(s[cut - 1]))
            --cut;
        s.resize(cut);
    }
    return s;
}

} // namespace wdx::common
