#include "tools/StatJson.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>

namespace wdx::tools {

namespace {
// Printable ASCII without a quote or a backslash goes out as it is; every
// other text takes nlohmann's escaping, which also mends invalid UTF-8.
bool Plain(std::string_view Text) {
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

TJsonText& TJsonText::RowObjects(const TStatTable& Table) {
    // The member names are the same in every row: escaped once.
    std::vector<std::string> Keys;
    for (const auto& C : Table.Columns) {
        TJsonText K;
        K.Quoted(C.Key);
        Keys.push_back(K.FText + ':');
    }
    FText.reserve(FText.size() + Table.Rows.size() * 16 * Table.Columns.size());
    for (const auto& Row : Table.Rows) {
        Separate();
        FText += '{';
        for (std::size_t I = 0; I < Row.size(); ++I) {
            if (I > 0)
                FText += ',';
            FText += Keys[I];
            CellValue(Row[I]);
        }
        FText += '}';
    }
    return *this;
}

} // namespace wdx::tools
