#pragma once
// Character properties the tools need, the same on every platform and
// without ICU: how many columns a terminal gives a character, simple case
// folding for comparing texts without regard to case, and the simple
// upper-case mapping the settings store compares names by. All come from
// tables (CharTables.inc) generated from ICU's data by
// gen/GenCharTables.cpp; a test compares them with ICU for every code point.

#include <cstddef>
#include <string_view>

namespace wdx::unicode {

// Columns a terminal uses to show the code point: 0 for combining marks
// (Mn, Me) and format characters (Cf), 2 for East Asian wide and fullwidth
// characters, 1 for everything else (controls and unassigned code points
// included).
int Columns(char32_t CodePoint);

// The code point's simple case folding (one code point to one, as
// CaseFolding.txt's statuses C and S give it); itself when it has none.
char32_t FoldCase(char32_t CodePoint);

// The code point's simple upper-case mapping (one code point to one, as
// UnicodeData.txt gives it: "ß" stays itself, "σ" and "ς" both give "Σ");
// itself when it has none.
char32_t ToUpper(char32_t CodePoint);

// The Unicode version the tables were made from, "15.0" and the like.
const char* CharTablesVersion();

} // namespace wdx::unicode
