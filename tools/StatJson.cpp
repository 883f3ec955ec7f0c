#include "tools/StatJson.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace wdx::tools {

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
} // namespace

TJsonText::TRowPieces TJsonText::RowPieces(const std::vector<TColumn>& Columns) {
    const std::vector<std::string> Keys = MemberKeys(Columns);
    TRowPieces Pieces;
    Pieces.Head = Piece(",{" + Keys[0] + "\"");
    Pieces.Most = Pieces.Head.Length + 2 + sizeof(TPiece::Text);
    for (std::size_t I = 1; I < Keys.size(); ++I) {
        Pieces.Before.push_back(Piece((I == 1 ? "\"," : ",") + Keys[I]));
        Pieces.Most += Pieces.Before.back().Length + 11; // "-2147483648"
    }
    return Pieces;
}

char* TJsonText::GrowRows(char* P, std::size_t Need) {
    // Twice the room at least, so that a long run of rows is moved a few
    // times only.
    const auto Used = static_cast<std::size_t>(P - FRows.get());
    const std::size_t Room = std::max(2 * FRowsRoom, Used + Need);
    std::unique_ptr<char[]> Rows(new char[Room]);
    if (Used > 0)
        std::memcpy(Rows.get(), FRows.get(), Used);
    FRows = std::move(Rows);
    FRowsRoom = Room;
    return FRows.get() + Used;
}

std::string_view TJsonText::CloseRows(char* End) {
    std::string_view Rows(FRows.get(), static_cast<std::size_t>(End - FRows.get()));
    if (Rows.empty())
        return Rows;
    if (FFirst.empty() || FFirst.back())
        Rows.remove_prefix(1);
    if (!FFirst.empty())
        FFirst.back() = false;
    return Rows;
}

char* TJsonText::EscapedName(char* P, const TRowPieces& Pieces, std::string_view Name) {
    // The head up to its quote, then the name as Quoted writes it, its
    // opening quote included and its closing one left to the next piece.
    TJsonText Escaped;
    Escaped.Quoted(Name);
    P = Put(P, Pieces.Head) - 1;
    return std::copy(Escaped.FText.begin(), Escaped.FText.end() - 1, P);
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
