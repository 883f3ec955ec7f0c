#include "statshost/StatsProtocol.h"

#include <rapidjson/encodings.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

namespace wdx::statshost {

namespace {

bool IsUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

const std::string Prefix = "/v1";

// Text with every byte that does not start a well-formed UTF-8 sequence
// replaced by U+FFFD.
std::string ValidUtf8(std::string_view Text) {
    std::string out;
    out.reserve(Text.size());
    rapidjson::MemoryStream in(Text.data(), Text.size());
    rapidjson::StringBuffer sequence;
    while (in.Tell() < Text.size()) {
        const char* start = in.src_;
        sequence.Clear();
        // A sequence cut by the end fails too: the stream reads '\0' there.
        if (rapidjson::UTF8<>::Validate(in, sequence)) {
            out.append(start, in.src_);
        } else {
            out += "\xEF\xBF\xBD";
            in.src_ = start + 1;
        }
    }
    return out;
}

} // namespace

std::string PercentEncode(std::string_view Text) {
    static const char Hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(Text.size());
    for (char ch : Text) {
        auto c = static_cast<unsigned char>(ch);
        if (IsUnreserved(c)) {
            out += ch;
        } else {
            out += '%';
            out += Hex[c >> 4];
            out += Hex[c & 0x0F];
        }
    }
    return out;
}

std::string BrokerPath() {
    return Prefix + "/broker";
}
std::string HealthPath() {
    return Prefix + "/health";
}
std::string ComponentsPath() {
    return Prefix + "/components";
}
std::string ComponentPath(std::string_view Component) {
    return Prefix + "/components/" + PercentEncode(Component);
}
std::string ServicesPath(std::string_view Component) {
    return ComponentPath(Component) + "/services";
}
std::string ParametersPath(std::string_view Service) {
    return Prefix + "/services/" + PercentEncode(Service) + "/parameters";
}
std::string ActionPath(std::string_view Component) {
    return ComponentPath(Component) + "/actions";
}
std::string VersionPath(std::string_view Component) {
    return Prefix + "/versions/" + PercentEncode(Component);
}

std::string EncodeActionRequest(std::string_view Action, int32_t Value) {
    rapidjson::StringBuffer out;
    rapidjson::Writer<rapidjson::StringBuffer> writer(out);
    writer.StartObject();
    writer.Key("action");
    std::string word = ValidUtf8(Action);
    writer.String(word.data(), static_cast<rapidjson::SizeType>(word.size()));
    writer.Key("value");
    writer.Int(Value);
    writer.EndObject();
    return std::string(out.GetString(), out.GetSize());
}

} // namespace wdx::statshost
