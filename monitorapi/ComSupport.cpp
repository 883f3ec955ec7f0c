#include "monitorapi/ComSupport.h"

#include "monitorapi/WideText.h"

#include <cstdio>

namespace wdx::monitor {

namespace {
std::string FailureText(std::int32_t Code, const std::u16string& Message) {
    if (!Message.empty())
        return WideToUtf8(Message);
    char buf[64];
    std::snprintf(buf, sizeof buf, "Operation failed (error 0x%08X).", unsigned(Code));
    return buf;
}
} // namespace

ECOMError::ECOMError(std::int32_t Code, const std::u16string& Message)
    : std::runtime_error(FailureText(Code, Message)), FErrorCode(Code) {}

std::string TGUID::ToString() const {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string s = "{";
    for (std::size_t i = 0; i < Bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            s += '-';
        s += hex[Bytes[i] >> 4];
        s += hex[Bytes[i] & 0xF];
    }
    s += '}';
    return s;
}

} // namespace wdx::monitor
