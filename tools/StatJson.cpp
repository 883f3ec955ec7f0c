#include "tools/StatJson.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace wdx::tools {

namespace {
// Printable ASCII without a quote or a backslash goes out as it is; every
// other text takes nlohmann's escaping, which also mends invalid UTF-8.
// V in decimal at P; returns its end. Counts (below ten digits, mostly one
// or two) are written two digits at a time from a table, anything else as
// the library writes it.
char* Decimal(char* P, std::int64_t V) {
    if (V < 0 || V >= 1000000000)
        return std::to_chars(P, P + 20, V).ptr;
    static constexpr char Pairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    auto u = static_cast<std::uint32_t>(V);
    if (u < 10) {
        *P = static_cast<char>('0' + u);
        return P + 1;
    }
    int digits = 2;
    for (std::uint32_t bound = 100; u >= bound && digits < 9; bound *= 10)
        ++digits;
    char* end = P + digits;
    char* at = end;
    while (u >= 100) {
        const std::uint32_t pair = u % 100;
        u /= 100;
        at -= 2;
        std::memcpy(at, Pairs + 2 * pair, 2);
    }
    if (u >= 10) {
        at -= 2;
        std::memcpy(at, Pairs + 2 * u, 2);
    } else {
        *--at = static_cast<char>('0' + u);
    }
    return end;
}

inline bool Plain(std::string_view Text) {
    // Eight bytes at a time: none below 0x20, none above 0x7e, no quote and
    // no backslash (each test exact for the word as a whole). A text of
    // eight bytes or more ends with a word that overlaps the one before.
    constexpr std::uint64_t Ones = 0x0101010101010101u, Highs = 0x8080808080808080u;
    auto below = [](std::uint64_t X, std::uint64_t N) { return (X - Ones * N) & ~X & Highs; };
    auto plainWord = [&](const char* At) {
        std::uint64_t W;
        std::memcpy(&W, At, 8);
        const std::uint64_t Above = (W + Ones) | W; // 0x7f and above: high bit
        return ((below(W, 0x20) | below(W ^ (Ones * '"'), 1) | below(W ^ (Ones * '\\'), 1) | Above) &
                Highs) == 0;
    };
    const std::size_t N = Text.size();
    if (N >= 8) {
        for (std::size_t I = 0; I + 8 < N; I += 8)
            if (!plainWord(Text.data() + I))
                return false;
        return plainWord(Text.data() + N - 8);
    }
    for (const char C : Text) {
        const auto B = static_cast<unsigned char>(C);
        if (B < 0x20 || B > 0x7e || B == '"' || B == '\\')
            return false;
    }
    return true;
}
} // namespace

void TJsonText::Separate() {
    if (FAfterKey) {
        FAfterKey = false;
        return;
    }
    if (!FFirst.empty()) {
        if (!FFirst.back())
            FText += ',';
        FFirst.back() = false;
    }
}

void TJsonText::Quoted(std::string_view Text) {
    if (Plain(Text)) {
        FText += '"';
        FText += Text;
        FText += '"';
    } else {
        FText += nlohmann::json(Text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    }
}

TJsonText& TJsonText::BeginObject() {
    Separate();
    FText += '{';
    FFirst.push_back(true);
    return *this;
}

TJsonText& TJsonText::EndObject() {
    FText += '}';
    FFirst.pop_back();
    return *this;
}

TJsonText& TJsonText::BeginArray() {
    Separate();
    FText += '[';
    FFirst.push_back(true);
    return *this;
}

TJsonText& TJsonText::EndArray() {
    FText += ']';
    FFirst.pop_back();
    return *this;
}

TJsonText& TJsonText::Key(std::string_view Name) {
    Separate();
    Quoted(Name);
    FText += ':';
    FAfterKey = true;
    return *this;
}

TJsonText& TJsonText::Value(const TCell& Cell) {
    Separate();
    CellValue(Cell);
    return *this;
}

void TJsonText::CellValue(const TCell& Cell) {
    if (const auto* S = std::get_if<std::string>(&Cell)) {
        Quoted(*S);
    } else if (const auto* N = std::get_if<std::int64_t>(&Cell)) {
        char Buf[24];
        const auto End = std::to_chars(Buf, Buf + sizeof Buf, *N).ptr;
        FText.append(Buf, End);
    } else if (const auto* D = std::get_if<double>(&Cell)) {
        FText += nlohmann::json(std::round(*D * 1000.0) / 1000.0).dump();
    } else {
        FText += "null";
    }
}

TJsonText& TJsonText::Value(bool Truth) {
    Separate();
    FText += Truth ? "true" : "false";
    return *this;
}

TJsonText& TJsonText::Value(std::string_view Text) {
    Separate();
    Quoted(Text);
    return *this;
}

TJsonText& TJsonText::Rows(const TStatTable& Table) {
    return BeginArray().RowObjects(Table).EndArray();
}

std::vector<std::string> TJsonText::MemberKeys(const std::vector<TColumn>& Columns) {
    // The member names are the same in every row: escaped once.
    std::vector<std::string> Keys;
    for (const auto& C : Columns) {
        TJsonText K;
        K.Quoted(C.Key);
        Keys.push_back(K.FText + ':');
    }
    return Keys;
}

namespace {
TJsonText::TPiece Piece(const std::string& Text) {
    TJsonText::TPiece P;
    P.Length = Text.size();
    if (Text.size() <= sizeof P.Text)
        std::memcpy(P.Text, Text.data(), Text.size());
    else
        P.Long = Text;
    return P;
}

char* Put(char* P, const TJsonText::TPiece& Piece) {
    if (Piece.Long.empty())
        std::memcpy(P, Piece.Text, sizeof Piece.Text); // what is past Length is written over next
    else
        std::memcpy(P, Piece.Long.data(), Piece.Length);
    return P + Piece.Length;
}

} // namespace

TJsonText::TRowPieces TJsonText::RowPieces(const std::vector<TColumn>& Columns) {
    TRowPieces Pieces;
    Pieces.Keys = MemberKeys(Columns);
    Pieces.Head = Piece("{" + Pieces.Keys[0] + "\"");
    Pieces.Fixed = Pieces.Head.Length + 2; // the name's closing quote (or the next piece's) and '}'
    for (std::size_t I = 1; I < Pieces.Keys.size(); ++I) {
        Pieces.Before.push_back(Piece((I == 1 ? "\"," : ",") + Pieces.Keys[I]));
        Pieces.Fixed += Pieces.Before.back().Length;
    }
    return Pieces;
}

char* TJsonText::OpenRows(std::size_t Room) {
    if (Room > FRowsRoom) {
        FRows.reset(new char[Room]);
        FRowsRoom = Room;
    }
    return FRows.get();
}

std::string_view TJsonText::CloseRows(char* End) const {
    return {FRows.get(), static_cast<std::size_t>(End - FRows.get())};
}

char* TJsonText::NameAndFigures(char* P, const TRowPieces& Pieces, std::string_view Name,
                                std::span<const std::int64_t> Figures) {
    if (!FFirst.empty()) {
        if (!FFirst.back())
            *P++ = ',';
        FFirst.back() = false;
    }
    if (Plain(Name)) {
        P = Put(P, Pieces.Head);
        std::memcpy(P, Name.data(), Name.size());
        P += Name.size();
    } else {
        // '{', the key, and the name as Quoted writes it (its quotes
        // included): the head without its quote.
        *P++ = '{';
        P = std::copy(Pieces.Keys[0].begin(), Pieces.Keys[0].end(), P);
        TJsonText Escaped;
        Escaped.Quoted(Name);
        P = std::copy(Escaped.FText.begin(), Escaped.FText.end() - 1, P);
    }
    for (std::size_t I = 0; I < Figures.size(); ++I) {
        P = Put(P, Pieces.Before[I]);
        P = Decimal(P, Figures[I]);
    }
    if (Figures.empty())
        *P++ = '"';
    *P++ = '}';
    return P;
}

TJsonText& TJsonText::RowObjects(const TStatTable& Table) {
    const std::vector<std::string> Keys = MemberKeys(Table.Columns);
    FText.reserve(FText.size() + Table.Rows.size() * 16 * Table.Columns.size());
    for (const auto& Row : Table.Rows) {
        Separate();
        // A row of integers, nulls and texts that go out as they are (all
        // a component list holds) is written in place, into room measured
        // first; any other row cell by cell.
        std::size_t Room = 2;
        bool InPlace = true;
        for (std::size_t I = 0; I < Row.size() && InPlace; ++I) {
            Room += 1 + Keys[I].size();
            if (const auto* S = std::get_if<std::string>(&Row[I])) {
                InPlace = Plain(*S);
                Room += S->size() + 2;
            } else if (std::holds_alternative<double>(Row[I])) {
                InPlace = false;
            } else {
                Room += 20; // the longest 64-bit integer, and null
            }
        }
        if (!InPlace) {
            FText += '{';
            for (std::size_t I = 0; I < Row.size(); ++I) {
                if (I > 0)
                    FText += ',';
                FText += Keys[I];
                CellValue(Row[I]);
            }
            FText += '}';
            continue;
        }
        const std::size_t Start = FText.size();
        FText.resize(Start + Room);
        char* const Begin = FText.data() + Start;
        char* const Limit = Begin + Room;
        char* P = Begin;
        *P++ = '{';
        for (std::size_t I = 0; I < Row.size(); ++I) {
            if (I > 0)
                *P++ = ',';
            P = std::copy(Keys[I].begin(), Keys[I].end(), P);
            if (const auto* S = std::get_if<std::string>(&Row[I])) {
                *P++ = '"';
                P = std::copy(S->begin(), S->end(), P);
                *P++ = '"';
            } else if (const auto* N = std::get_if<std::int64_t>(&Row[I])) {
                P = std::to_chars(P, Limit, *N).ptr;
            } else {
                P = std::copy_n("null", 4, P);
            }
        }
        *P++ = '}';
        FText.resize(Start + static_cast<std::size_t>(P - Begin));
    }
    return *this;
}

} // namespace wdx::tools
