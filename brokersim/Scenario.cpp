#include "brokersim/Scenario.h"

#include "statshost/JsonFields.h"
#include "statshost/StatsDecoder.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <random>
#include <set>
#include <sstream>

namespace wdx::brokersim {

using namespace wdx::statshost;

namespace {

// A misspelt member would otherwise be dropped without a word.
void OnlyKnownMembers(const TJson& Obj, std::initializer_list<std::string_view> Known, const TJsonPath& At) {
    RequireObject(Obj, At);
    for (const auto& [key, value] : Obj.items()) {
        bool known = false;
        for (auto k : Known)
            known = known || k == key;
        if (!known)
            throw EJsonField(At.Member(key).Text() + " is not a known member");
    }
}

int32_t OptionalCount(const TJson& Obj, std::string_view Key, const TJsonPath& At, int32_t Default = 0) {
    const TJson* v = FindMember(Obj, Key, At);
    return v ? static_cast<int32_t>(RequireInt(*v, 0, Int32Max, At.Member(Key))) : Default;
}

TParamInfo ReadParam(const TJson& P, const TJsonPath& At) {
    OnlyKnownMembers(P, {"name", "dataType", "mode", "precision", "scale"}, At);
    TParamInfo p;
    p.Name = TextMember(P, "name", At, true);
    p.DataType = static_cast<int16_t>(IntMember(P, "dataType", Int16Min, Int16Max, At));
    p.Mode = static_cast<int16_t>(IntMember(P, "mode", Int16Min, Int16Max, At));
    const TJson* v = FindMember(P, "precision", At);
    p.Precision = v ? static_cast<int16_t>(RequireInt(*v, Int16Min, Int16Max, At.Member("precision"))) : 0;
    v = FindMember(P, "scale", At);
    p.Scale = v ? static_cast<int16_t>(RequireInt(*v, Int16Min, Int16Max, At.Member("scale"))) : 0;
    return p;
}

TSimService ReadService(const TJson& S, const TJsonPath& At) {
    OnlyKnownMembers(S, {"name", "requests", "queued", "queueTime", "serviceTime", "parameters"}, At);
    TSimService s;
    s.Stats.Name = TextMember(S, "name", At, true);
    s.Stats.Requests = OptionalCount(S, "requests", At);
    s.Stats.Queued = OptionalCount(S, "queued", At);
    s.Stats.QueueTime = OptionalCount(S, "queueTime", At);
    s.Stats.ServiceTime = OptionalCount(S, "serviceTime", At);
    if (const TJson* list = FindMember(S, "parameters", At)) {
        TJsonPath listAt = At.Member("parameters");
        const auto& rows = RequireArray(*list, listAt);
        for (std::size_t i = 0; i < rows.size(); ++i)
            s.Params.push_back(ReadParam(rows[i], listAt.Element(i)));
    }
    return s;
}

TSimComponent ReadComponent(const TJson& C, const TJsonPath& At) {
    OnlyKnownMembers(C,
                     {"name", "invokedBy", "active", "maximum", "requests", "queued", "queueTime",
                      "serviceTime", "services"},
                     At);
    TSimComponent c;
    TComponentDetails& d = c.Stats;
    d.Name = TextMember(C, "name", At, true);
    if (const TJson* v = FindMember(C, "invokedBy", At))
        d.InvokedBy = RequireText(*v, At.Member("invokedBy"));
    const TJson* max = FindMember(C, "maximum", At);
    d.Maximum = max ? static_cast<int32_t>(RequireInt(*max, 1, MaxInstances, At.Member("maximum"))) : 10;
    d.Active = OptionalCount(C, "active", At);
    if (d.Active > d.Maximum)
        throw EJsonField(At.Member("active").Text() + " must not be above the maximum of " +
                         std::to_string(d.Maximum));
    d.Requests = OptionalCount(C, "requests", At);
    d.Queued = OptionalCount(C, "queued", At);
    d.QueueTime = OptionalCount(C, "queueTime", At);
    d.ServiceTime = OptionalCount(C, "serviceTime", At);
    if (const TJson* list = FindMember(C, "services", At)) {
        TJsonPath listAt = At.Member("services");
        const auto& rows = RequireArray(*list, listAt);
        std::set<std::string> names;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            c.Services.push_back(ReadService(rows[i], listAt.Element(i)));
            if (!names.insert(c.Services.back().Stats.Name).second)
                throw EJsonField(listAt.Element(i).Member("name").Text() + " repeats the service name \"" +
                                 c.Services.back().Stats.Name + "\"");
        }
    }
    return c;
}

TSimScenario ReadScenario(const TJson& Doc) {
    TJsonPath at;
    OnlyKnownMembers(Doc, {"broker", "health", "versions", "components"}, at);
    TSimScenario sc;
    if (const TJson* v = FindMember(Doc, "broker", at))
        sc.BrokerName = RequireText(*v, at.Member("broker"), true);
    if (const TJson* h = FindMember(Doc, "health", at)) {
        TJsonPath hAt = at.Member("health");
        OnlyKnownMembers(*h, {"state", "text"}, hAt);
        const std::string& state = TextMember(*h, "state", hAt);
        if (state == "healthy")
            sc.Health.State = THealthState::Healthy;
        else if (state == "warning")
            sc.Health.State = THealthState::Warning;
        else
            throw EJsonField(hAt.Member("state").Text() + " must be \"healthy\" or \"warning\"");
        if (const TJson* t = FindMember(*h, "text", hAt))
            sc.Health.Text = RequireText(*t, hAt.Member("text"));
    }
    if (const TJson* v = FindMember(Doc, "versions", at)) {
        TJsonPath vAt = at.Member("versions");
        RequireObject(*v, vAt);
        for (const auto& [name, text] : v->items())
            sc.Versions[name] = RequireText(text, vAt.Member(name));
    }
    TJsonPath listAt = at.Member("components");
    const auto& rows = RequireArray(RequireMember(Doc, "components", at), listAt);
    std::set<std::string> names;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        sc.Components.push_back(ReadComponent(rows[i], listAt.Element(i)));
        if (!names.insert(sc.Components.back().Stats.Name).second)
            throw EJsonField(listAt.Element(i).Member("name").Text() + " repeats the component name \"" +
                             sc.Components.back().Stats.Name + "\"");
    }
    return sc;
}

} // namespace

TSimScenario ParseScenario(std::string_view Text, const std::string& Source) {
    const std::string where = "Scenario " + Source + ": ";
    if (!NestingWithin(Text, MaxNestingDepth))
        throw EScenarioError(where + "arrays and objects nest deeper than " +
                             std::to_string(MaxNestingDepth) + " levels.");
    TJson doc;
    try {
        doc = TJson::parse(Text.begin(), Text.end());
    } catch (const TJson::exception& e) {
        // Keep the parser's own words (line and column) without its tag.
        std::string msg = e.what();
        if (auto pos = msg.find("] "); msg.rfind("[json.exception", 0) == 0 && pos != std::string::npos)
            msg = msg.substr(pos + 2);
        throw EScenarioError(where + "not valid JSON: " + msg);
    }
    try {
        return ReadScenario(doc);
    } catch (const EJsonField& e) {
        throw EScenarioError(where + e.what() + ".");
    }
}

TSimScenario LoadScenario(const std::string& Path) {
    std::error_code ec;
    auto size = std::filesystem::file_size(Path, ec);
    if (ec)
        throw EScenarioError("Scenario " + Path + ": cannot be read (" + ec.message() + ").");
    if (size > MaxScenarioBytes)
        throw EScenarioError("Scenario " + Path + ": larger than " + std::to_string(MaxScenarioBytes) +
                             " bytes.");
    std::ifstream in(Path, std::ios::binary);
    std::ostringstream text;
    if (!in || !(text << in.rdbuf()))
        throw EScenarioError("Scenario " + Path + ": cannot be read.");
    return ParseScenario(text.str(), Path);
}

TSimScenario GenerateScenario(int Components, int Services, int Params, uint64_t Seed) {
    if (Components < 1 || Components > MaxGeneratedComponents)
        throw EScenarioError("The number of components must be from 1 to " +
                             std::to_string(MaxGeneratedComponents) + ".");
    if (Services < 0 || Services > MaxGeneratedServices)
        throw EScenarioError("The number of services must be from 0 to " +
                             std::to_string(MaxGeneratedServices) + ".");
    if (Params < 0 || Params > MaxGeneratedParams)
        throw EScenarioError("The number of parameters must be from 0 to " +
                             std::to_string(MaxGeneratedParams) + ".");
    const auto services = static_cast<int64_t>(Components) * Services;
    if (services > MaxGeneratedServiceRows || services * Params > MaxGeneratedParamRows)
        throw EScenarioError("That many services and parameters would not fit into memory: at most " +
                             std::to_string(MaxGeneratedServiceRows) + " services and " +
                             std::to_string(MaxGeneratedParamRows) + " parameters in all.");
    static const int16_t Modes[] = {1, 2, 3, 5};
    std::mt19937_64 random(Seed);
    std::uniform_int_distribution<int> maximum(1, 50), base(5, 400);
    std::uniform_int_distribution<int32_t> requests(0, 1000000);
    TSimScenario sc;
    sc.BrokerName = "Generated broker";
    sc.Versions["wdxappserver"] = "4.2.1 (simulated)";
    sc.Components.reserve(static_cast<std::size_t>(Components));
    char name[64];
    for (int i = 1; i <= Components; ++i) {
        TSimComponent c;
        std::snprintf(name, sizeof name, "Component%06d", i);
        c.Stats.Name = name;
        c.Stats.InvokedBy = "client" + std::to_string(i % 97) + ".example";
        c.Stats.Maximum = maximum(random);
        c.Stats.Active = std::uniform_int_distribution<int32_t>(0, c.Stats.Maximum)(random);
        c.Stats.Requests = requests(random);
        c.Stats.ServiceTime = base(random);
        for (int s = 1; s <= Services; ++s) {
            TSimService v;
            std::snprintf(name, sizeof name, "Component%06d.Service%02d", i, s);
            v.Stats.Name = name;
            v.Stats.Requests = c.Stats.Requests / Services;
            v.Stats.ServiceTime = base(random);
            for (int p = 0; p < Params; ++p) {
                int16_t type = static_cast<int16_t>(1 + (s + p) % 5);
                v.Params.push_back({"Param" + std::to_string(p + 1), type, Modes[p % 4],
                                    static_cast<int16_t>(type == 2 ? 18 : 0),
                                    static_cast<int16_t>(type == 2 ? 4 : 0)});
            }
            c.Services.push_back(std::move(v));
        }
        sc.Components.push_back(std::move(c));
    }
    return sc;
}

} // namespace wdx::brokersim
