#pragma once
// WDXStat's JSON, written straight into text as it goes: a list of ten
// thousand rows costs its text and nothing else (no document in between).
// Members come out in the order they are written, "name" first, as people
// read it. Texts are UTF-8; invalid UTF-8 (which a decoder should never let
// through) is replaced rather than thrown about.

#include "tools/StatTable.h"

#include <cstdint>
#include <cstring>
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
        // Held in locals, which writing the rows' bytes cannot change: read
        // from memory once, not again after every byte written.
        const std::span<const TPiece> Before(Pieces.Before);
        const std::span<std::int32_t Record::*const> Figure(Figures);
        const bool All = Keep.KeepsAll();
        char* P = FRows.get();
        for (const Record& R : Records) {
            if (!All && !Keep(R.Name))
                continue;
            P = RoomFor(P, RowRoom(Pieces, R.Name));
            P = Plain(R.Name) ? Copy(Put(P, Pieces.Head), R.Name) : EscapedName(P, Pieces, R.Name);
            for (std::size_t I = 0; I < Figure.size(); ++I)
                P = Decimal(Put(P, Before[I]), R.*Figure[I]);
            P = Tail(P, Figure.size());
        }
        return CloseRows(P);
    }

    // V in decimal at P, which has room for eleven bytes; returns its end.
    // The figures of a row, mostly of one or two digits, some of six or
    // seven: the digits are counted by comparisons and written two at a time.
    static char* Decimal(char* P, std::int32_t V);

    // (For RecordText.) The text of an object of a name and figures
    // around its values: the comma, '{', the first key and the name's
    // quote; then before each figure the name's closing quote or a comma,
    // and its key.
    struct TPiece {
        char Text[16] = {}; // copied 16 bytes at a time, Length of them kept
        std::size_t Length = 0;
        std::string Long; // a piece longer than Text, copied as it is
    };
    struct TRowPieces {
        TPiece Head;
        std::vector<TPiece> Before; // one per figure
        // The most a row takes besides its name: all pieces, the name's
        // closing quote (or the next piece's) and '}', the longest figures,
        // and the bytes Put copies past a piece.
        std::size_t Most = 0;
    };

    const std::string& Text() const { return FText; }
    // Empties the text once it has been written out, keeping its room; what
    // follows goes on in the same containers.
    void Restart() { FText.clear(); }

private:
    // ASCII that JSON takes as it is (no control character below 0x20, no
    // quote, no backslash) goes out as it is; every other text takes
    // nlohmann's escaping, which also mends invalid UTF-8.
    static bool Plain(std::string_view Text);
    void Separate(); // the comma before every value but a container's first
    void Quoted(std::string_view Text);
    void CellValue(const TCell& Cell); // the value alone, no comma
    // Each column's key, quoted, with its colon.
    static std::vector<std::string> MemberKeys(const std::vector<TColumn>& Columns);
    static TRowPieces RowPieces(const std::vector<TColumn>& Columns);
    // The most a row of Name takes: the rest of the row, and the name
    // escaped (six bytes a byte at most, and its quotes).
    static std::size_t RowRoom(const TRowPieces& Pieces, std::string_view Name) {
        return Pieces.Most + 6 * Name.size() + 2;
    }
    // RecordText writes its rows into FRows from its start, each after a
    // comma (CloseRows takes away the one before the array's first value).
    // RoomFor returns where the next row goes, P, once there are Need bytes
    // of room from there: the room grows, what it holds moved along, when it
    // has too little.
    char* RoomFor(char* P, std::size_t Need) {
        if (Need > static_cast<std::size_t>(FRows.get() + FRowsRoom - P)) [[unlikely]]
            return GrowRows(P, Need);
        return P;
    }
    char* GrowRows(char* P, std::size_t Need);
    // The rows written up to End, with the comma before the array's first
    // value taken away.
    std::string_view CloseRows(char* End);
    // A plain name at P (after the head); a row up to the end of a name to
    // escape; the end of a row after its figures.
    static char* Copy(char* P, std::string_view Name);
    static char* EscapedName(char* P, const TRowPieces& Pieces, std::string_view Name);
    static char* Tail(char* P, std::size_t Figures);
    static char* Put(char* P, const TPiece& Piece);
    // Decimal's digits: "00" to "99", a number's two at twice the number.
    static constexpr char DigitPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    static char* Pair(char* P, std::uint32_t V);     // V below 100, two digits
    static char* Four(char* P, std::uint32_t V);     // V below 10,000, four digits
    static char* UpToFour(char* P, std::uint32_t V); // V below 10,000, no leading zero

    std::string FText;
    std::unique_ptr<char[]> FRows; // the rows' room, kept for the next rows
    std::size_t FRowsRoom = 0;
    std::vector<char> FFirst; // per open container: nothing written in it yet
    bool FAfterKey = false;
};

// Inline, for RecordText's rows.

inline bool TJsonText::Plain(std::string_view Text) {
    // Eight bytes at a time, a byte marked by its high bit: one below 0x20
    // wraps when 0x20 is taken from it; a quote or a backslash wraps when it
    // is xor'ed with itself and one is taken; and one of 0x80 and above
    // keeps the bit through at least one of those two (the xor leaves 0x80,
    // which one taken clears, for one of them at most). A borrow between
    // bytes only ever comes from a byte already marked, so the marks are
    // exact for the word as a whole. A text of eight bytes or more ends with
    // a word that overlaps the one before.
    constexpr std::uint64_t Ones = 0x0101010101010101u, Highs = 0x8080808080808080u;
    auto marks = [](const char* At) {
        std::uint64_t W;
        std::memcpy(&W, At, 8);
        return (W - Ones * 0x20) | ((W ^ (Ones * '"')) - Ones) | ((W ^ (Ones * '\\')) - Ones);
    };
    const std::size_t N = Text.size();
    if (N >= 8) {
        std::uint64_t Marks = marks(Text.data()) | marks(Text.data() + N - 8);
        for (std::size_t I = 8; I + 8 < N; I += 8)
            Marks |= marks(Text.data() + I);
        return (Marks & Highs) == 0;
    }
    for (const char C : Text) {
        const auto B = static_cast<unsigned char>(C);
        if (B < 0x20 || B >= 0x80 || B == '"' || B == '\\')
            return false;
    }
    return true;
}

inline char* TJsonText::Pair(char* P, std::uint32_t V) {
    std::memcpy(P, DigitPairs + 2 * V, 2);
    return P + 2;
}

inline char* TJsonText::Four(char* P, std::uint32_t V) {
    return Pair(Pair(P, V / 100), V % 100);
}

inline char* TJsonText::UpToFour(char* P, std::uint32_t V) {
    if (V < 10) {
        *P = static_cast<char>('0' + V);
        return P + 1;
    }
    if (V < 100)
        return Pair(P, V);
    if (V < 1000) {
        *P = static_cast<char>('0' + V / 100);
        return Pair(P + 1, V % 100);
    }
    return Four(P, V);
}

inline char* TJsonText::Decimal(char* P, std::int32_t V) {
    // The magnitude, unsigned, so that the lowest int32 has one too.
    auto U = static_cast<std::uint32_t>(V);
    if (V < 0) {
        *P++ = '-';
        U = 0u - U;
    }
    // Up to four digits, then groups of four below them.
    if (U < 10000)
        return UpToFour(P, U);
    if (U < 100000000)
        return Four(UpToFour(P, U / 10000), U % 10000);
    return Four(Four(UpToFour(P, U / 100000000), U / 10000 % 10000), U % 10000);
}

inline char* TJsonText::Put(char* P, const TPiece& Piece) {
    if (Piece.Length <= sizeof Piece.Text)
        std::memcpy(P, Piece.Text, sizeof Piece.Text); // what is past Length is written over next
    else
        std::memcpy(P, Piece.Long.data(), Piece.Length);
    return P + Piece.Length;
}

inline char* TJsonText::Copy(char* P, std::string_view Name) {
    // Names are short: two words that may overlap copied in place of a call.
    const std::size_t N = Name.size();
    if (N >= 8 && N <= 16) {
        std::memcpy(P, Name.data(), 8);
        std::memcpy(P + N - 8, Name.data() + N - 8, 8);
    } else {
        std::memcpy(P, Name.data(), N);
    }
    return P + N;
}

inline char* TJsonText::Tail(char* P, std::size_t Figures) {
    if (Figures == 0)
        *P++ = '"'; // the name's closing quote, which the first figure's piece has otherwise
    *P++ = '}';
    return P;
}

} // namespace wdx::tools
