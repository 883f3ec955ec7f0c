#include "monitorapi/WideText.h"

#include "unicode/Utf.h"

namespace wdx::monitor {

// The converter of our own gives the same texts on every platform (each
// ill-formed part one U+FFFD, as ICU and the Unicode Standard do).

std::string WideToUtf8(const std::u16string& Text) {
    return unicode::Utf16ToUtf8(Text);
}

std::u16string Utf8ToWide(const std::string& Text) {
    return unicode::Utf8ToUtf16(Text);
}

} // namespace wdx::monitor
