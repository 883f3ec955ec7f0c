#pragma once
// The character properties of CharProps.h as ICU gives them: what the
// tables are generated from (GenCharTables.cpp) and what the test compares
// them with for every code point (tests/unicode/CharPropsTest.cpp). Linux
// only; the programs themselves never link ICU.

#include <unicode/uchar.h>
#include <unicode/uversion.h>

#include <cstdint>
#include <string>

namespace wdx::unicode::reference {

// Columns a terminal uses: none for combining marks and format characters,
// two for East Asian wide and fullwidth characters, one for the rest.
inline int Columns(char32_t CodePoint) {
    const auto C = static_cast<UChar32>(CodePoint);
    const std::int8_t Type = u_charType(C);
    if (Type == U_NON_SPACING_MARK || Type == U_ENCLOSING_MARK || Type == U_FORMAT_CHAR)
        return 0;
    const int East = u_getIntPropertyValue(C, UCHAR_EAST_ASIAN_WIDTH);
    return East == U_EA_WIDE || East == U_EA_FULLWIDTH ? 2 : 1;
}

// Simple case folding (one code point to one).
inline char32_t FoldCase(char32_t CodePoint) {
    return static_cast<char32_t>(u_foldCase(static_cast<UChar32>(CodePoint), U_FOLD_CASE_DEFAULT));
}

// Simple upper-case mapping (one code point to one).
inline char32_t ToUpper(char32_t CodePoint) {
    return static_cast<char32_t>(u_toupper(static_cast<UChar32>(CodePoint)));
}

// "15.0" and the like: the Unicode version of this ICU's data.
inline std::string UnicodeVersion() {
    UVersionInfo V;
    u_getUnicodeVersion(V);
    return std::to_string(V[0]) + "." + std::to_string(V[1]);
}

} // namespace wdx::unicode::reference
