#include "statshost/StatsEncoders.h"

#include <nlohmann/json.hpp>

namespace wdx::statshost {

using nlohmann::json;

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Texts from a broker's own data may hold bytes that are not UTF-8; they are
// replaced rather than breaking the whole answer.
std::string Dump(const json& Value) {
    return Value.dump(-1, ' ', false, json::error_handler_t::replace);
}

} // namespace

std::optional<std::string> PercentDecode(std::string_view Text) {
    std::string out;
    out.reserve(Text.size());
    for (std::size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] != '%') {
            out += Text[i];
            continue;
        }
        if (Text.size() - i < 3)
            return std::nullopt;
        int hi = HexValue(Text[i + 1]);
        int lo = HexValue(Text[i + 2]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return out;
}

std::string EncodeBrokerInfo(const TBrokerInfo& Info) {
    return Dump(json{{"name", Info.Name}, {"protocol", Info.Protocol}});
}

std::string EncodeHealth(const THealth& Health) {
    return Dump(json{{"state", Health.State == THealthState::Healthy ? "healthy" : "warning"},
                     {"text", Health.Text}});
}

std::string EncodeComponents(const std::vector<TComponentStats>& Components) {
    json rows = json::array();
    rows.get_ref<json::array_t&>().reserve(Components.size());
    for (const auto& c : Components)
        rows.push_back(json{{"name", c.Name},
                            {"active", c.Active},
                            {"maximum", c.Maximum},
                            {"requests", c.Requests},
                            {"queued", c.Queued},
                            {"queueTime", c.QueueTime},
                            {"serviceTime", c.ServiceTime}});
    return Dump(json{{"components", std::move(rows)}});
}

std::string EncodeServices(std::string_view Component, const std::vector<TServiceStats>& Services) {
    json rows = json::array();
    for (const auto& s : Services)
        rows.push_back(json{{"name", s.Name},
                            {"requests", s.Requests},
                            {"queued", s.Queued},
                            {"queueTime", s.QueueTime},
                            {"serviceTime", s.ServiceTime}});
    return Dump(json{{"component", std::string(Component)}, {"services", std::move(rows)}});
}

std::string EncodeParameters(std::string_view Service, const std::vector<TParamInfo>& Params) {
    json rows = json::array();
    for (const auto& p : Params)
        rows.push_back(json{{"name", p.Name},
                            {"dataType", p.DataType},
                            {"mode", p.Mode},
                            {"precision", p.Precision},
                            {"scale", p.Scale}});
    return Dump(json{{"service", std::string(Service)}, {"parameters", std::move(rows)}});
}

std::string EncodeComponentDetails(const TComponentDetails& d) {
    return Dump(json{{"name", d.Name},
                     {"invokedBy", d.InvokedBy},
                     {"active", d.Active},
                     {"maximum", d.Maximum},
                     {"requests", d.Requests},
                     {"queued", d.Queued},
                     {"queueTime", d.QueueTime},
                     {"serviceTime", d.ServiceTime}});
}

std::string EncodeActionDone(const TActionDone& Done) {
    return Dump(json{{"component", Done.Component}, {"action", Done.Action}, {"value", Done.Value}});
}

std::string EncodeVersion(std::string_view Component, const TVersionInfo& Version) {
    json j{{"component", std::string(Component)}, {"found", Version.Found}};
    if (Version.Found)
        j["version"] = Version.Version;
    return Dump(j);
}

std::string EncodeError(int32_t Code, std::string_view Text) {
    return Dump(json{{"error", json{{"code", Code}, {"text", std::string(Text)}}}});
}

} // namespace wdx::statshost
