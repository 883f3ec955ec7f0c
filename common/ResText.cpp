#include "common/ResText.h"

#include "unicode/Utf.h"

namespace wdx::common {

namespace {
// Ill-formed bytes become U+FFFD; the tables are ours, so this is a guard only.
std::u16string Widen(std::string_view Text) {
    return unicode::Utf8ToUtf16(Text);
}

bool IsLeadSurrogate(char16_t C) {
    return C >= 0xD800 && C <= 0xDBFF;
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
        if (IsLeadSurrogate(s[cut - 1]))
            --cut;
        s.resize(cut);
    }
    return s;
}

} // namespace wdx::common
