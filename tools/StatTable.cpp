#include "tools/StatTable.h"

#include "unicode/CharProps.h"
#include "unicode/Utf.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace wdx::tools {

namespace {

// Calls Each(code point, bytes) for every character of Text; an ill-formed
// subpart comes as U+FFFD with its own bytes (unicode/Utf.h).
template <class F> void ForEachChar(std::string_view Text, F Each) {
    std::size_t At = 0;
    while (At < Text.size()) {
        const std::size_t Start = At;
        const char32_t C = unicode::NextCodePoint(Text, At);
        Each(C, Text.substr(Start, At - Start));
    }
}

// Text with each character case-folded, for comparing without regard to case.
std::u32string Folded(std::string_view Text) {
    std::u32string Out;
    Out.reserve(Text.size());
    ForEachChar(Text, [&](char32_t C, std::string_view) { Out.push_back(unicode::FoldCase(C)); });
    return Out;
}

bool IsControl(char32_t C) {
    return C < 0x20 || (C >= 0x7F && C < 0xA0);
}

std::string Printable(std::string_view Text) {
    std::string Out;
    Out.reserve(Text.size());
    ForEachChar(Text, [&](char32_t C, std::string_view Bytes) {
        if (IsControl(C))
            Out += '?';
        else
            Out += Bytes;
    });
    return Out;
}

// Order of two cells of one column; empty cells are never "less" so that they
// gather at the end in both directions (see SortRows).
int Compare(const TCell& A, const TCell& B) {
    auto Number = [](const TCell& C) {
        return std::holds_alternative<std::int64_t>(C) ? static_cast<double>(std::get<std::int64_t>(C))
                                                       : std::get<double>(C);
    };
    const bool ATextual = std::holds_alternative<std::string>(A);
    const bool BTextual = std::holds_alternative<std::string>(B);
    if (ATextual || BTextual) {
        const std::u32string FA = ATextual ? Folded(std::get<std::string>(A)) : std::u32string();
        const std::u32string FB = BTextual ? Folded(std::get<std::string>(B)) : std::u32string();
        return FA < FB ? -1 : FB < FA ? 1 : 0;
    }
    if (std::holds_alternative<std::int64_t>(A) && std::holds_alternative<std::int64_t>(B)) {
        const auto X = std::get<std::int64_t>(A), Y = std::get<std::int64_t>(B);
        return X < Y ? -1 : Y < X ? 1 : 0;
    }
    const double X = Number(A), Y = Number(B);
    return X < Y ? -1 : Y < X ? 1 : 0;
}

std::string CsvField(const std::string& Text) {
    if (Text.find_first_of(",\"\r\n") == std::string::npos)
        return Text;
    std::string Out = "\"";
    for (char C : Text) {
        if (C == '"')
            Out += '"';
        Out += C;
    }
    return Out + '"';
}

} // namespace

std::size_t DisplayWidth(std::string_view Text) {
    std::size_t Width = 0;
    ForEachChar(
        Text, [&](char32_t C, std::string_view) { Width += static_cast<std::size_t>(unicode::Columns(C)); });
    return Width;
}

int FindColumn(const TStatTable& Table, std::string_view Name) {
    const std::u32string Wanted = Folded(Name);
    for (std::size_t I = 0; I < Table.Columns.size(); ++I)
        if (Folded(Table.Columns[I].Key) == Wanted || Folded(Table.Columns[I].Title) == Wanted)
            return static_cast<int>(I);
    return -1;
}

void SortRows(TStatTable& Table, int Column, bool Reverse) {
    if (Column < 0 || static_cast<std::size_t>(Column) >= Table.Columns.size())
        return;
    const auto C = static_cast<std::size_t>(Column);
    std::stable_sort(Table.Rows.begin(), Table.Rows.end(), [&](const auto& A, const auto& B) {
        const bool AEmpty = std::holds_alternative<std::monostate>(A[C]);
        const bool BEmpty = std::holds_alternative<std::monostate>(B[C]);
        if (AEmpty || BEmpty)
            return !AEmpty && BEmpty;
        const int Order = Compare(A[C], B[C]);
        return Reverse ? Order > 0 : Order < 0;
    });
}

TNameMatch::TNameMatch(std::string_view Text) : FWanted(Folded(Text)) {}

bool TNameMatch::operator()(std::string_view Name) const {
    return FWanted.empty() || Folded(Name).find(FWanted) != std::u32string::npos;
}

void KeepMatching(TStatTable& Table, std::string_view Text) {
    if (Text.empty())
        return;
    const TNameMatch Matches(Text);
    std::erase_if(Table.Rows, [&](const auto& Row) {
        const auto* Name = std::get_if<std::string>(&Row.front());
        return !Name || !Matches(*Name);
    });
}

std::string CellText(const TCell& Cell) {
    if (const auto* N = std::get_if<std::int64_t>(&Cell))
        return std::to_string(*N);
    if (const auto* D = std::get_if<double>(&Cell)) {
        char Buf[64];
        std::snprintf(Buf, sizeof Buf, "%.1f", *D);
        return Buf;
    }
    if (const auto* S = std::get_if<std::string>(&Cell))
        return *S;
    return {};
}

std::string RenderTable(const TStatTable& Table) {
    const std::size_t N = Table.Columns.size();
    std::vector<std::vector<std::string>> Texts;
    Texts.reserve(Table.Rows.size() + 1);
    Texts.emplace_back();
    for (const auto& C : Table.Columns)
        Texts.back().push_back(Printable(C.Title));
    for (const auto& Row : Table.Rows) {
        Texts.emplace_back();
        for (const auto& Cell : Row)
            Texts.back().push_back(Printable(CellText(Cell)));
    }
    std::vector<std::size_t> Width(N, 0);
    for (const auto& Line : Texts)
        for (std::size_t I = 0; I < N; ++I)
            Width[I] = std::max(Width[I], DisplayWidth(Line[I]));

    std::string Out;
    for (const auto& Line : Texts) {
        std::string Text;
        for (std::size_t I = 0; I < N; ++I) {
            const std::string Pad(Width[I] - DisplayWidth(Line[I]), ' ');
            if (I > 0)
                Text += "  ";
            Text += Table.Columns[I].Numeric ? Pad + Line[I] : Line[I] + Pad;
        }
        // No trailing blanks: a last text column is padded for nothing.
        Text.erase(Text.find_last_not_of(' ') + 1);
        Out += Text + "\n";
    }
    return Out;
}

std::string RenderCsv(const TStatTable& Table, bool Header, const TColumn* PrefixColumn,
                      const std::string& Prefix) {
    std::string Out;
    if (Header) {
        std::string Line = PrefixColumn ? CsvField(PrefixColumn->Key) + "," : std::string();
        for (std::size_t I = 0; I < Table.Columns.size(); ++I)
            Line += (I ? "," : "") + CsvField(Table.Columns[I].Key);
        Out += Line + "\r\n";
    }
    for (const auto& Row : Table.Rows) {
        std::string Line = PrefixColumn ? CsvField(Prefix) + "," : std::string();
        for (std::size_t I = 0; I < Row.size(); ++I) {
            // Rates go out with all their precision; the table rounds them.
            std::string Text = CellText(Row[I]);
            if (const auto* D = std::get_if<double>(&Row[I])) {
                char Buf[64];
                std::snprintf(Buf, sizeof Buf, "%.3f", *D);
                Text = Buf;
            }
            Line += (I ? "," : "") + CsvField(Text);
        }
        Out += Line + "\r\n";
    }
    return Out;
}

} // namespace wdx::tools
