#include "statshost/StatsDecoder.h"

#include "statshost/AnswerReader.h"

#include <array>
#include <string>

namespace wdx::statshost {

namespace {

using namespace reader;

constexpr std::int64_t Int32Min = -Int32Max - 1;

constexpr TShape Shape(std::span<const TField> Fields) {
    TShape s;
    s.Fields = Fields;
    return s;
}

template <auto M> constexpr TField Count(std::string_view Key) {
    return IntField<M>(Key, 0, Int32Max);
}
template <auto M> constexpr TField Code16(std::string_view Key) {
    return IntField<M>(Key, Int16Min, Int16Max);
}

// Reads Body into a default T through the root shape Root, then runs Check
// on it (rules across members); nothing thrown inside leaves.
template <class T, class FCheck>
TStatsResult<T> Read(std::string_view Body, const TDecodeLimits& Limits, const TShape& Root, FCheck&& Check) {
    T out{};
    if (auto fault = ReadAnswer(
            Body, Root, &out, [](void* R) { *static_cast<T*>(R) = T{}; }, Limits))
        return std::move(*fault);
    if (std::optional<std::string> bad = Check(out))
        return MalformedAnswer(*bad);
    return out;
}

template <class T>
TStatsResult<T> Read(std::string_view Body, const TDecodeLimits& Limits, const TShape& Root) {
    return Read<T>(Body, Limits, Root, [](const T&) { return std::optional<std::string>(); });
}

// The list answers are read into a holder of their rows.
template <class Row> struct TRows { std::vector<Row> Rows; };

template <class Row>
TStatsResult<std::vector<Row>> ReadRows(std::string_view Body, const TDecodeLimits& Limits,
                                        const TShape& Root) {
    auto r = Read<TRows<Row>>(Body, Limits, Root);
    if (!r.Ok())
        return r.Error();
    return std::move(r.Value().Rows);
}

// --- component list
constexpr std::array ComponentFields{
    TextField<&TComponentStats::Name>("name", true),    Count<&TComponentStats::Active>("active"),
    Count<&TComponentStats::Maximum>("maximum"),        Count<&TComponentStats::Requests>("requests"),
    Count<&TComponentStats::Queued>("queued"),          Count<&TComponentStats::QueueTime>("queueTime"),
    Count<&TComponentStats::ServiceTime>("serviceTime")};
constexpr TShape ComponentRow = RowShape<TComponentStats, ComponentFields>();
constexpr std::array ComponentListFields{
    ListField<&TRows<TComponentStats>::Rows>("components", ComponentRow)};
constexpr TShape ComponentList = Shape(ComponentListFields);

// --- service list
constexpr std::array ServiceFields{
    TextField<&TServiceStats::Name>("name", true), Count<&TServiceStats::Requests>("requests"),
    Count<&TServiceStats::Queued>("queued"), Count<&TServiceStats::QueueTime>("queueTime"),
    Count<&TServiceStats::ServiceTime>("serviceTime")};
constexpr TShape ServiceRow = RowShape<TServiceStats, ServiceFields>();
constexpr std::array ServiceListFields{ListField<&TRows<TServiceStats>::Rows>("services", ServiceRow)};
constexpr TShape ServiceList = Shape(ServiceListFields);

// --- parameter list
constexpr std::array ParamFields{TextField<&TParamInfo::Name>("name", true),
                                 Code16<&TParamInfo::DataType>("dataType"), Code16<&TParamInfo::Mode>("mode"),
                                 Code16<&TParamInfo::Precision>("precision"),
                                 Code16<&TParamInfo::Scale>("scale")};
constexpr TShape ParamRow = RowShape<TParamInfo, ParamFields>();
constexpr std::array ParamListFields{ListField<&TRows<TParamInfo>::Rows>("parameters", ParamRow)};
constexpr TShape ParamList = Shape(ParamListFields);

// --- component details
constexpr std::array DetailFields{
    TextField<&TComponentDetails::Name>("name", true), TextField<&TComponentDetails::InvokedBy>("invokedBy"),
    Count<&TComponentDetails::Active>("active"),       Count<&TComponentDetails::Maximum>("maximum"),
    Count<&TComponentDetails::Requests>("requests"),   Count<&TComponentDetails::Queued>("queued"),
    Count<&TComponentDetails::QueueTime>("queueTime"), Count<&TComponentDetails::ServiceTime>("serviceTime")};
constexpr TShape Details = Shape(DetailFields);

// --- broker
constexpr std::array BrokerFields{TextField<&TBrokerInfo::Name>("name"),
                                  IntField<&TBrokerInfo::Protocol>("protocol", 1, Int32Max)};
constexpr TShape Broker = Shape(BrokerFields);

// --- health: the state is read as a text and checked afterwards.
struct THealthRead {
    std::string State;
    std::string Text;
};
constexpr std::array HealthFields{TextField<&THealthRead::State>("state"),
                                  TextField<&THealthRead::Text>("text", false, false)};
constexpr TShape Health = Shape(HealthFields);

// --- action done
constexpr std::array ActionFields{TextField<&TActionDone::Component>("component", true),
                                  TextField<&TActionDone::Action>("action", true),
                                  IntField<&TActionDone::Value>("value", Int32Min, Int32Max)};
constexpr TShape Action = Shape(ActionFields);

// --- version: "version" only counts when "found" is true, so a fault in it
// is kept until that is known.
struct TVersionRead {
    TVersionInfo Info;
    bool HasVersion = false;
    std::string VersionFault;
};
constexpr TField VersionText() {
    TField f = FieldOf("version", TFieldKind::Text, false);
    f.SetText = [](void* R, std::string_view V) {
        auto* v = static_cast<TVersionRead*>(R);
        v->Info.Version = V;
        v->HasVersion = true;
    };
    f.SetFault = [](void* R, std::string&& Message) {
        static_cast<TVersionRead*>(R)->VersionFault = std::move(Message);
    };
    return f;
}
constexpr TField VersionFound() {
    TField f = FieldOf("found", TFieldKind::Bool);
    f.SetBool = [](void* R, bool V) { static_cast<TVersionRead*>(R)->Info.Found = V; };
    return f;
}
constexpr std::array VersionFields{VersionFound(), VersionText()};
constexpr TShape Version = Shape(VersionFields);

// --- error answer
struct TErrorBody {
    std::int32_t Code = 0;
    std::string Text;
};
struct TErrorRead {
    TErrorBody Error;
};
constexpr std::array ErrorBodyFields{IntField<&TErrorBody::Code>("code", Int32Min, Int32Max),
                                     TextField<&TErrorBody::Text>("text")};
constexpr TShape ErrorBody = Shape(ErrorBodyFields);
constexpr TField ErrorMember() {
    TField f = FieldOf("error", TFieldKind::Object);
    f.Enter = [](void* R) -> void* { return &static_cast<TErrorRead*>(R)->Error; };
    f.Sub = &ErrorBody;
    return f;
}
constexpr std::array ErrorFields{ErrorMember()};
constexpr TShape ErrorAnswer = Shape(ErrorFields);

} // namespace

std::string CutOperatorText(std::string Text, std::size_t MaxChars) {
    std::size_t chars = 0, cut = Text.size();
    for (std::size_t i = 0; i < Text.size(); ++i) {
        // Every byte but a continuation byte (10xxxxxx) starts a character.
        if ((static_cast<unsigned char>(Text[i]) & 0xC0) != 0x80) {
            if (chars == MaxChars)
                cut = i;
            ++chars;
        }
    }
    if (chars <= MaxChars)
        return Text;
    Text.resize(cut);
    Text +=
        " [\xe2\x80\xa6] (The broker's text was cut here: it has " + std::to_string(chars) + " characters.)";
    return Text;
}

TStatsResult<TBrokerInfo> DecodeBrokerInfo(std::string_view Body, const TDecodeLimits& Limits) {
    return Read<TBrokerInfo>(Body, Limits, Broker);
}

TStatsResult<THealth> DecodeHealth(std::string_view Body, const TDecodeLimits& Limits) {
    auto r = Read<THealthRead>(Body, Limits, Health, [](const THealthRead& h) -> std::optional<std::string> {
        if (h.State != "healthy" && h.State != "warning")
            return std::string("state must be \"healthy\" or \"warning\"");
        return std::nullopt;
    });
    if (!r.Ok())
        return r.Error();
    THealth health;
    health.State = r.Value().State == "healthy" ? THealthState::Healthy : THealthState::Warning;
    health.Text = std::move(r.Value().Text);
    return health;
}

TStatsResult<std::vector<TComponentStats>> DecodeComponents(std::string_view Body,
                                                            const TDecodeLimits& Limits) {
    return ReadRows<TComponentStats>(Body, Limits, ComponentList);
}

TStatsResult<std::vector<TServiceStats>> DecodeServices(std::string_view Body, const TDecodeLimits& Limits) {
    return ReadRows<TServiceStats>(Body, Limits, ServiceList);
}

TStatsResult<std::vector<TParamInfo>> DecodeParameters(std::string_view Body, const TDecodeLimits& Limits) {
    return ReadRows<TParamInfo>(Body, Limits, ParamList);
}

TStatsResult<TComponentDetails> DecodeComponentDetails(std::string_view Body, const TDecodeLimits& Limits) {
    return Read<TComponentDetails>(Body, Limits, Details);
}

TStatsResult<TActionDone> DecodeActionDone(std::string_view Body, const TDecodeLimits& Limits) {
    return Read<TActionDone>(Body, Limits, Action);
}

TStatsResult<TVersionInfo> DecodeVersion(std::string_view Body, const TDecodeLimits& Limits) {
    auto r =
        Read<TVersionRead>(Body, Limits, Version, [](const TVersionRead& v) -> std::optional<std::string> {
            if (!v.Info.Found)
                return std::nullopt;
            if (!v.VersionFault.empty())
                return v.VersionFault;
            if (!v.HasVersion)
                return std::string("version is missing");
            return std::nullopt;
        });
    if (!r.Ok())
        return r.Error();
    TVersionInfo v = std::move(r.Value().Info);
    if (!v.Found)
        v.Version.clear();
    return v;
}

TStatsError DecodeErrorAnswer(int HttpStatus, std::string_view Body, const TDecodeLimits& Limits) {
    TStatsError err{TStatsFailure::BrokerError, HttpStatus, HttpStatus != 0 ? HttpStatus : -1, {}};
    std::string fallback = "The broker answered with HTTP status " + std::to_string(HttpStatus);
    auto decoded = Read<TErrorRead>(Body, Limits, ErrorAnswer);
    if (!decoded.Ok()) {
        // A decode cut short by the deadline is the time-out it is, not a
        // broker without a text.
        if (decoded.Error().Kind == TStatsFailure::TimeOut)
            return decoded.Error();
        err.Text = fallback + " and no readable error text.";
        return err;
    }
    const TErrorBody& body = decoded.Value().Error;
    if (body.Code != 0)
        err.Code = body.Code;
    err.Text = CutOperatorText(std::move(decoded.Value().Error.Text));
    if (err.Text.empty())
        err.Text = fallback + " and an empty error text.";
    return err;
}

} // namespace wdx::statshost
