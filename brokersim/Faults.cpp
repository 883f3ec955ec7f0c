#include "brokersim/Faults.h"

#include <charconv>

namespace wdx::brokersim {

namespace {

struct TKindName {
    TFaultKind Kind;
    const char* Name;
};
const TKindName KindNames[] = {
    {TFaultKind::Refuse, "refuse"}, {TFaultKind::Stall, "stall"},         {TFaultKind::Trickle, "trickle"},
    {TFaultKind::Error, "error"},   {TFaultKind::Malformed, "malformed"}, {TFaultKind::Oversize, "oversize"},
    {TFaultKind::Body, "body"},
};

TFaultKind KindFromName(std::string_view Name) {
    for (const auto& k : KindNames)
        if (Name == k.Name)
            return k.Kind;
    throw EFaultSpec("unknown fault kind \"" + std::string(Name) +
                     "\" (refuse, stall, trickle, error, malformed, oversize, body)");
}

const char* NameOf(TFaultKind Kind) {
    for (const auto& k : KindNames)
        if (Kind == k.Kind)
            return k.Name;
    return "?";
}

long long Number(std::string_view Text, long long Lo, long long Hi, const char* What) {
    long long v = 0;
    auto [end, ec] = std::from_chars(Text.data(), Text.data() + Text.size(), v);
    if (ec != std::errc() || end != Text.data() + Text.size() || v < Lo || v > Hi)
        throw EFaultSpec(std::string(What) + " must be a number from " + std::to_string(Lo) + " to " +
                         std::to_string(Hi) + ", not \"" + std::string(Text) + "\"");
    return v;
}

// Defaults and checks shared by both ways of giving a fault.
void Complete(TFault& F, bool HasMillis, bool HasBytes) {
    if (F.Path.empty() || (F.Path[0] != '/' && F.Path != "*"))
        throw EFaultSpec("the fault's path must start with / (or be *)");
    if (F.Kind == TFaultKind::Stall && !HasMillis)
        F.Millis = 60000;
    if (F.Kind == TFaultKind::Trickle && !HasMillis)
        F.Millis = 1000;
    if (F.Kind == TFaultKind::Oversize && !HasBytes)
        F.Bytes = 80u * 1024 * 1024;
    if (F.Kind == TFaultKind::Error && F.Text.empty())
        F.Text = "Simulated failure.";
}

bool Matches(const std::string& Pattern, std::string_view Path) {
    if (!Pattern.empty() && Pattern.back() == '*')
        return Path.substr(0, Pattern.size() - 1) == std::string_view(Pattern).substr(0, Pattern.size() - 1);
    return Pattern == Path;
}

} // namespace

TFault ParseFaultSpec(std::string_view Text) {
    auto eq = Text.find('=');
    if (eq == std::string_view::npos)
        throw EFaultSpec("a fault is given as PATH=KIND[:ARG], not \"" + std::string(Text) + "\"");
    TFault f;
    f.Path = std::string(Text.substr(0, eq));
    std::string_view rest = Text.substr(eq + 1);
    auto colon = rest.find(':');
    f.Kind = KindFromName(rest.substr(0, colon));
    std::string_view arg = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    bool hasMillis = false, hasBytes = false;
    switch (f.Kind) {
    case TFaultKind::Stall:
    case TFaultKind::Trickle:
        if (!arg.empty()) {
            f.Millis = static_cast<int>(Number(arg, 1, MaxFaultMillis, "the time in ms"));
            hasMillis = true;
        }
        break;
    case TFaultKind::Error: {
        auto colon2 = arg.find(':');
        if (!arg.empty())
            f.Status = static_cast<int>(Number(arg.substr(0, colon2), 400, 599, "the status"));
        if (colon2 != std::string_view::npos)
            f.Text = std::string(arg.substr(colon2 + 1));
        break;
    }
    case TFaultKind::Oversize:
        if (!arg.empty()) {
            f.Bytes = static_cast<std::size_t>(Number(arg, 1, MaxOversizeBytes, "the size in bytes"));
            hasBytes = true;
        }
        break;
    case TFaultKind::Body:
        throw EFaultSpec("a body fault is only given through the control endpoint");
    default:
        if (!arg.empty())
            throw EFaultSpec(std::string("the fault ") + NameOf(f.Kind) + " takes no argument");
    }
    Complete(f, hasMillis, hasBytes);
    return f;
}

TFault FaultFromJson(const nlohmann::json& J) {
    if (!J.is_object())
        throw EFaultSpec("a fault must be a JSON object");
    auto text = [&](const char* key) -> std::string {
        auto it = J.find(key);
        if (it == J.end())
            return {};
        if (!it->is_string())
            throw EFaultSpec(std::string(key) + " must be a text");
        return it->get<std::string>();
    };
    auto number = [&](const char* key, long long lo, long long hi, long long dflt, bool* had = nullptr) {
        auto it = J.find(key);
        if (it == J.end())
            return dflt;
        if (!it->is_number_integer() || it->get<long long>() < lo || it->get<long long>() > hi ||
            (it->is_number_unsigned() && it->get<unsigned long long>() > static_cast<unsigned long long>(hi)))
            throw EFaultSpec(std::string(key) + " must be an integer from " + std::to_string(lo) + " to " +
                             std::to_string(hi));
        if (had)
            *had = true;
        return it->get<long long>();
    };
    TFault f;
    f.Path = text("path");
    f.Kind = KindFromName(text("kind"));
    bool hasMillis = false, hasBytes = false;
    f.Millis = static_cast<int>(number("ms", 1, MaxFaultMillis, 0, &hasMillis));
    f.Status = static_cast<int>(number("status", 100, 599, f.Kind == TFaultKind::Body ? 200 : 500));
    f.Bytes = static_cast<std::size_t>(number("bytes", 1, MaxOversizeBytes, 0, &hasBytes));
    f.Count = static_cast<int>(number("count", 1, 1000000, -1));
    f.Text = f.Kind == TFaultKind::Body ? text("body") : text("text");
    Complete(f, hasMillis, hasBytes);
    return f;
}

nlohmann::json FaultToJson(const TFault& F) {
    nlohmann::json j{{"path", F.Path}, {"kind", NameOf(F.Kind)}};
    switch (F.Kind) {
    case TFaultKind::Stall:
    case TFaultKind::Trickle:
        j["ms"] = F.Millis;
        break;
    case TFaultKind::Error:
        j["status"] = F.Status;
        j["text"] = F.Text;
        break;
    case TFaultKind::Body:
        j["status"] = F.Status;
        j["body"] = F.Text;
        break;
    case TFaultKind::Oversize:
        j["bytes"] = F.Bytes;
        break;
    default:
        break;
    }
    if (F.Count >= 0)
        j["count"] = F.Count;
    return j;
}

void TFaultTable::Add(TFault Fault) {
    std::lock_guard lock(FLock);
    for (auto& f : FFaults)
        if (f.Path == Fault.Path) {
            f = std::move(Fault);
            return;
        }
    FFaults.push_back(std::move(Fault));
}

void TFaultTable::Clear() {
    std::lock_guard lock(FLock);
    FFaults.clear();
}

std::vector<TFault> TFaultTable::List() const {
    std::lock_guard lock(FLock);
    return FFaults;
}

std::optional<TFault> TFaultTable::Take(std::string_view Path) {
    std::lock_guard lock(FLock);
    for (auto it = FFaults.begin(); it != FFaults.end(); ++it) {
        if (!Matches(it->Path, Path))
            continue;
        TFault hit = *it;
        if (it->Count > 0 && --it->Count == 0)
            FFaults.erase(it);
        return hit;
    }
    return std::nullopt;
}

} // namespace wdx::brokersim
