#include "WideText.h"

#include <QString>

namespace wdx::monitor {

namespace {
constexpr char16_t Replacement = 0xFFFD;

bool IsHigh(char16_t C) {
    return C >= 0xD800 && C <= 0xDBFF;
}
bool IsLow(char16_t C) {
    return C >= 0xDC00 && C <= 0xDFFF;
}
} // namespace

std::string WideToUtf8(const std::u16string& Text) {
    // The library writes '?' for a lone surrogate, which cannot be told from
    // a real question mark; mark it with the replacement character instead.
    std::u16string clean(Text);
    for (std::size_t i = 0; i < clean.size(); ++i) {
        if (IsHigh(clean[i]) && i + 1 < clean.size() && IsLow(clean[i + 1]))
            ++i; // a proper pair
        else if (IsHigh(clean[i]) || IsLow(clean[i]))
            clean[i] = Replacement;
    }
    return QString::fromStdU16String(clean).toUtf8().toStdString();
}

std::u16string Utf8ToWide(const std::string& Text) {
    // Ill-formed bytes come out as U+FFFD.
    return QString::fromUtf8(Text.data(), qsizetype(Text.size())).toStdU16String();
}

} // namespace wdx::monitor
