// The generated width, case-folding and upper-case tables against ICU, which they were
// made from, for every code point: a table that drifts from this machine's
// ICU (a new Unicode version, a generator fault) fails here, never in a
// terminal's alignment. Linux only: Windows builds have no ICU.
#include "unicode/CharProps.h"
#include "unicode/gen/IcuCharProps.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace wdx::unicode;

namespace {

std::string Hex(char32_t C) {
    char Buf[16];
    std::snprintf(Buf, sizeof Buf, "U+%04X", static_cast<unsigned>(C));
    return Buf;
}

constexpr const char* Regenerate =
    "regenerate unicode/CharTables.inc: cmake --build build --target wdx_char_tables";

TEST(CharProps, TablesAreFromThisIcusUnicodeVersion) {
    EXPECT_EQ(std::string(CharTablesVersion()), reference::UnicodeVersion()) << Regenerate;
}

TEST(CharProps, EveryCodePointHasIcusWidthFoldingAndUpperCase) {
    int Wrong = 0;
    for (char32_t C = 0; C <= 0x10FFFF && Wrong < 10; ++C) {
        if (Columns(C) != reference::Columns(C)) {
            ++Wrong;
            ADD_FAILURE() << Hex(C) << ": " << Columns(C) << " columns, ICU says " << reference::Columns(C)
                          << "; " << Regenerate;
        }
        if (FoldCase(C) != reference::FoldCase(C)) {
            ++Wrong;
            ADD_FAILURE() << Hex(C) << " folds to " << Hex(FoldCase(C)) << ", ICU says "
                          << Hex(reference::FoldCase(C)) << "; " << Regenerate;
        }
        if (ToUpper(C) != reference::ToUpper(C)) {
            ++Wrong;
            ADD_FAILURE() << Hex(C) << " upper-cases to " << Hex(ToUpper(C)) << ", ICU says "
                          << Hex(reference::ToUpper(C)) << "; " << Regenerate;
        }
    }
    // Past the last code point nothing is wide and nothing changes case.
    EXPECT_EQ(Columns(0x110000), 1);
    EXPECT_EQ(FoldCase(0x110000), char32_t(0x110000));
    EXPECT_EQ(ToUpper(0x110000), char32_t(0x110000));
}

} // namespace
