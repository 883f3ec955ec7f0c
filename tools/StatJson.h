#pragma once
// WDXStat's JSON, written straight into text as it goes: a list of ten
// thousand rows costs its text and nothing else (no document in between).
// Members come out in the order they are written, "name" first, as people
// read it. Texts are UTF-8; invalid UTF-8 (which a decoder should never let
// through) is replaced rather than thrown about.

#include "tools/StatTable.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace wdx::tools {

class TJsonText {
public:
    TJsonText& BeginObject();
    TJsonText& EndObject();
    TJsonText& BeginArray();
    TJsonText& EndArray();
    // The name of the next member of the object being written.
    TJsonText& Key(std::string_view Name);
    // null, an integer, a rate rounded to thousandths, or a text.
    TJsonText& Value(const TCell& Cell);
    TJsonText& Value(bool Truth);
    TJsonText& Value(std::string_view Text);
    TJsonText& Value(const std::string& Text) { return Value(std::string_view(Text)); }
    TJsonText& Value(const char* Text) { return Value(std::string_view(Text)); } // not a bool
    // Key and value at once.
    template <class T> TJsonText& Member(std::string_view Name, const T& V) { return Key(Name).Value(V); }
    // The rows as an array of objects, members named by the column keys; an
    // empty cell is null.
    TJsonText& Rows(const TStatTable& Table);
    // The same objects into the array being written, so that a long list can
    // be written a slice at a time.
    TJsonText& RowObjects(const TStatTable& Table);

    // Records of a name and integer figures (the component and the service
    // list) as objects of the array being written, members named by
    // Columns: the very text RowObjects gives for their table, without the
    // table. Records whose name Keep refuses are left out. They are made in
    // room of their own and returned (until the next call) instead of added
    // to the text, for a document that goes out as it is made: what Text()
    // holds goes out before them.
    template <class Record>
    std::string_view RecordText(const std::vector<TColumn>& Columns,
                                const std::vector<std::int32_t Record::*>& Figures,
                                std::span<const Record> Records, const TNameMatch& Keep) {
        const TRowPieces Pieces = RowPieces(Columns);
        // The records to write, and room for all of them at most; then
        // each one written into that room.
        std::vector<const Record*> Rows;
        Rows.reserve(Records.size());
        std::size_t Room = 0;
        for (const Record& R : Records)
            if (Keep.KeepsAll() || Keep(R.Name)) {
                Rows.push_back(&R);
                Room += RowRoom(Pieces, R.Name);
            }
        char* P = OpenRows(Room);
        std::vector<std::int64_t> Values(Figures.size());
        for (const Record* R : Rows) {
            for (std::size_t I = 0; I < Figures.size(); ++I)
                Values[I] = R->*Figures[I];
            P = NameAndFigures(P, Pieces, R->Name, Values);
        }
        return CloseRows(P);
    }

    // (For RecordText.) The text of an object of a name and figures
    // around its values: '{', the first key and the name's quote; then
    // before each figure the name's closing quote or a comma, and its key.
    struct TPiece {
        char Text[32] = {}; // copied 32 bytes at a time, Length of them kept
        std::size_t Length = 0;
        std::string Long; // a piece longer than Text, copied as it is
    };
    struct TRowPieces {
        std::vector<std::string> Keys;
        TPiece Head;
        std::vector<TPiece> Before; // one per figure
        std::size_t Fixed = 0;      // the length of all pieces, and '}'
    };

    const std::string& Text() const { return FText; }
    // Empties the text once it has been written out, keeping its room; what
    // follows goes on in the same containers.
    void Restart() { FText.clear(); }

private:
    void Separate(); // the comma before every value but a container's first
    void Quoted(std::string_view Text);
    void CellValue(const TCell& Cell); // the value alone, no comma
    // Each column's key, quoted, with its colon.
    static std::vector<std::string> MemberKeys(const std::vector<TColumn>& Columns);
    static TRowPieces RowPieces(const std::vector<TColumn>& Columns);
    // The most a row of Name takes, its comma and 32 bytes of slack included
    // (an escaped character takes at most six bytes, a figure twenty).
    static std::size_t RowRoom(const TRowPieces& Pieces, std::string_view Name) {
        return 1 + Pieces.Fixed + 6 * Name.size() + 2 + 20 * Pieces.Before.size() + 32;
    }
    // Room for rows written through the pointer returned (not cleared
    // first), and what they took.
    char* OpenRows(std::size_t Room);
    std::string_view CloseRows(char* End) const;
    // One object of a text and integers at P, after a comma unless it is
    // the array's first value; returns its end.
    char* NameAndFigures(char* P, const TRowPieces& Pieces, std::string_view Name,
                         std::span<const std::int64_t> Figures);

    std::string FText;
    std::unique_ptr<char[]> FRows; // OpenRows' room, kept for the next rows
    std::size_t FRowsRoom = 0;
    std::vector<char> FFirst; // per open container: nothing written in it yet
    bool FAfterKey = false;
};

} // namespace wdx::tools
