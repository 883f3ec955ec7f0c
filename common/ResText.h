#pragma once
// String tables: the vocabulary of one program's windows and messages, by id.
// Each program compiles in its own table and its windows read only that one.

#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace wdx::common {

class TStringTable {
public:
    TStringTable(std::initializer_list<std::pair<const int, std::string_view>> Entries) : FTexts(Entries) {}

    // The stored text of Id (UTF-8), or an empty view when the table has none.
    std::string_view Find(int Id) const;

private:
    std::unordered_map<int, std::string_view> FTexts;
};

// Text of Id from Table, read the way the resource loader reads it: at most
// 127 characters, and "Cannot find resource string" when the id is missing or
// its text is empty. Line feeds are kept.
std::u16string LoadResText(const TStringTable& Table, int Id);

inline constexpr int ResTextMaxChars = 127;
inline constexpr const char* MissingResText = "Cannot find resource string";

} // namespace wdx::common
