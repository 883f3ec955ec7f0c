#include "unicode/CharProps.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace wdx::unicode {

namespace {

struct TWidthRun {
    char32_t First, Last;
    int Columns;
};

struct TCaseRun {
    char32_t First, Last;
    int Step;
    std::int32_t Difference;
};

#include "unicode/CharTables.inc"

// The run that starts last at or before CodePoint; nullptr when none does.
template <class TRun, std::size_t N> const TRun* RunAt(const TRun (&Runs)[N], char32_t CodePoint) {
    const TRun* After = std::upper_bound(std::begin(Runs), std::end(Runs), CodePoint,
                                         [](char32_t C, const TRun& R) { return C < R.First; });
    return After == std::begin(Runs) ? nullptr : After - 1;
}

// What the case runs take CodePoint to: itself unless a run holds it.
template <std::size_t N> char32_t Mapped(const TCaseRun (&Runs)[N], char32_t CodePoint) {
    const TCaseRun* Run = RunAt(Runs, CodePoint);
    if (!Run || CodePoint > Run->Last || (CodePoint - Run->First) % static_cast<char32_t>(Run->Step) != 0)
        return CodePoint;
    return static_cast<char32_t>(static_cast<std::int32_t>(CodePoint) + Run->Difference);
}

} // namespace

int Columns(char32_t CodePoint) {
    if (CodePoint < 0xA0) // ASCII and the controls after it: the common case
        return 1;
    const TWidthRun* Run = RunAt(WidthRuns, CodePoint);
    return Run && CodePoint <= Run->Last ? Run->Columns : 1;
}

char32_t FoldCase(char32_t CodePoint) {
    if (CodePoint < 0x80)
        return CodePoint >= 'A' && CodePoint <= 'Z' ? CodePoint + 0x20 : CodePoint;
    return Mapped(FoldRuns, CodePoint);
}

char32_t ToUpper(char32_t CodePoint) {
    if (CodePoint < 0x80)
        return CodePoint >= 'a' && CodePoint <= 'z' ? CodePoint - 0x20 : CodePoint;
    return Mapped(UpperRuns, CodePoint);
}

const char* CharTablesVersion() {
    return TablesUnicodeVersion;
}

} // namespace wdx::unicode
