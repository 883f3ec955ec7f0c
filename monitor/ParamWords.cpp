#include "monitor/ParamWords.h"

namespace wdx::monitor {

const char* DataTypeWord(std::int32_t DataType) {
    switch (DataType) {
    case 1:
        return "char";
    case 2:
        return "number";
    case 3:
        return "date";
    case 4:
        return "boolean";
    case 5:
        return "binary";
    default:
        return nullptr;
    }
}

const char* ParamModeWord(std::int32_t Mode) {
    switch (Mode) {
    case 1:
        return "Input";
    case 2:
        return "Output";
    case 3:
        return "In/Out";
    case 5:
        return "Result";
    default:
        return nullptr;
    }
}

} // namespace wdx::monitor
