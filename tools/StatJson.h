#pragma once
// WDXStat's JSON, written straight into text as it goes: a list of ten
// thousand rows costs its text and nothing else (no document in between).
// Members come out in the order they are written, "name" first, as people
// read it. Texts are UTF-8; invalid UTF-8 (which a decoder should never let
// through) is replaced rather than thrown about.

#include "tools/StatTable.h"

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

    const std::string& Text() const { return FText; }
    // Empties the text once it has been written out, keeping its room; what
    // follows goes on in the same containers.
    void Restart() { FText.clear(); }

private:
    void Separate(); // the comma before every value but a container's first
    void Quoted(std::string_view Text);
    void CellValue(const TCell& Cell); // the value alone, no comma

    std::string FText;
    std::vector<bool> FFirst; // per open container: nothing written in it yet
    bool FAfterKey = false;
};

} // namespace wdx::tools
