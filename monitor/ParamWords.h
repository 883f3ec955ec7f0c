#pragma once
// The words a parameter's data type and mode codes are shown as, wherever
// they are shown (the parameter dialog, WDXStat). No Qt here.

#include <cstdint>

namespace wdx::monitor {

// 1 "char", 2 "number", 3 "date", 4 "boolean", 5 "binary"; null for any
// other code, which callers show as the code itself.
const char* DataTypeWord(std::int32_t DataType);

// 1 "Input", 2 "Output", 3 "In/Out", 5 "Result"; null for any other code.
const char* ParamModeWord(std::int32_t Mode);

} // namespace wdx::monitor
