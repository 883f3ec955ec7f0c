#pragma once
// WDXStat's output: one table of rows, written as aligned columns for people,
// as CSV (RFC 4180) or as JSON for programs (StatJson.h). Kept apart from the connection,
// so that what a script reads can be checked without a broker.
//
// Texts are UTF-8. A cell is empty, an integer, a number with a fraction (the
// rates), or a text.

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace wdx::tools {

using TCell = std::variant<std::monostate, std::int64_t, double, std::string>;

struct TColumn {
    std::string Title;   // heading of the aligned table and of the CSV
    std::string Key;     // JSON member
    bool Numeric = true; // right-aligned
};

struct TStatTable {
    std::vector<TColumn> Columns;
    std::vector<std::vector<TCell>> Rows; // one cell per column
};

// The column whose key or title is Name, compared without regard to case
// ("queueTime", "queue t" and "Queue T" are the same column); -1 when none.
int FindColumn(const TStatTable& Table, std::string_view Name);

// Sorts by one column, stable, so that equal rows keep the broker's order.
// Texts sort without regard to case; empty cells come last either way.
void SortRows(TStatTable& Table, int Column, bool Reverse);

// Whether a name contains Text, without regard to case; an empty Text is in
// every name.
class TNameMatch {
public:
    explicit TNameMatch(std::string_view Text);
    bool operator()(std::string_view Name) const;
    bool KeepsAll() const { return FWanted.empty(); }

private:
    std::u32string FWanted; // case-folded
};

// Keeps the rows whose first cell (the name) contains Text, without regard to
// case; an empty Text keeps everything.
void KeepMatching(TStatTable& Table, std::string_view Text);

// Columns aligned under their titles, two blanks apart, numbers to the right,
// one line per row. Widths count what a terminal shows, not bytes; control
// characters in names are shown as '?' so that a name cannot move the cursor.
std::string RenderTable(const TStatTable& Table);

// RFC 4180: CRLF line ends, fields with a comma, a quote or a line break in
// quotes, quotes doubled. Prefix, when given, becomes a first column (the
// sample time of --watch).
std::string RenderCsv(const TStatTable& Table, bool Header, const TColumn* PrefixColumn = nullptr,
                      const std::string& Prefix = {});

// One cell's text as the table and the CSV show it: integers in plain
// decimal, rates with one decimal, empty cells as nothing.
std::string CellText(const TCell& Cell);

// Columns a terminal uses to show Text (wide East Asian characters take two,
// combining marks none).
std::size_t DisplayWidth(std::string_view Text);

} // namespace wdx::tools
