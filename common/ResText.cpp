#include "common/ResText.h"

#include <QString>

namespace wdx::common {

std::string_view TStringTable::Find(int Id) const {
    auto it = FTexts.find(Id);
    return it == FTexts.end() ? std::string_view{} : it->second;
}

std::u16string LoadResText(const TStringTable& Table, int Id) {
    std::string_view text = Table.Find(Id);
    if (text.empty())
        return QString::fromLatin1(MissingResText).toStdU16String();
    // The loader's buffer holds 127 characters and the terminating zero.
    QString s = QString::fromUtf8(text.data(), qsizetype(text.size()));
    if (s.size() > ResTextMaxChars) {
        qsizetype cut = ResTextMaxChars;
        // Never split a surrogate pair: a half character is no character.
        if (s.at(cut - 1).isHighSurrogate())
            --cut;
        s.truncate(cut);
    }
    return s.toStdU16String();
}

} // namespace wdx::common
