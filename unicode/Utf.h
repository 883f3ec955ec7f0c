#pragma once
// Exact conversions between UTF-8 and UTF-16, the same on every platform.
//
// Nothing is dropped or cut, and embedded zero characters are kept. What
// cannot be converted becomes U+FFFD, the replacement character:
// - in UTF-8, each maximal ill-formed subpart (a byte that cannot start a
//   sequence, or the longest start of a sequence that breaks off) becomes one
//   U+FFFD and reading goes on at the next byte (the Unicode Standard's
//   recommended practice, which ICU follows too);
// - in UTF-16, each lone surrogate becomes one U+FFFD.
// So "\xE2\x82" is one U+FFFD, "\xC0\xAF" two, "\xED\xA0\x80" three.
//
// No locale, code page or library is involved: a text converts to the same
// result on Linux and on Windows.

#include <cstddef>
#include <string>
#include <string_view>

namespace wdx::unicode {

inline constexpr char32_t Replacement = 0xFFFD;

std::u16string Utf8ToUtf16(std::string_view Utf8);
std::string Utf16ToUtf8(std::u16string_view Utf16);

// True when the text is well-formed UTF-8 (no overlong forms, surrogates or
// code points past U+10FFFF).
bool IsValidUtf8(std::string_view Utf8);

// ASCII copied between the two forms, unit for byte, into room for
// Text.size() units or bytes at Out; nothing outside Text or that room is
// read or written. False when Text is not all ASCII (the general conversions
// above are for that): Out then holds the copy of the ASCII before the first
// other character, and what follows there is unspecified.
bool WidenAscii(std::string_view Text, char16_t* Out);
bool NarrowAscii(std::u16string_view Text, char* Out);

// The length Utf8ToUtf16 gives, without building the text.
std::size_t Utf16Length(std::string_view Utf8);

// Reads one code point at Utf8[At] and moves At past it. An ill-formed
// subpart gives Replacement and moves past that subpart only.
char32_t NextCodePoint(std::string_view Utf8, std::size_t& At);

// Appends the UTF-8 form of a code point; surrogates and values past
// U+10FFFF append U+FFFD.
void AppendUtf8(std::string& Out, char32_t CodePoint);

} // namespace wdx::unicode
