#include "statshost/StatsDecoder.h"

#include "statshost/JsonFields.h"

#include <string>

namespace wdx::statshost {

namespace {

const char* const MalformedPrefix = "Malformed answer from the broker: ";

struct ETooLarge {
    std::size_t Size;
    std::size_t Cap;
};

TStatsError Malformed(const std::string& What) {
    return TStatsError{TStatsFailure::Malformed, 200, 0, MalformedPrefix + What};
}

TStatsError TooLarge(std::size_t Size, std::size_t Cap) {
    return TStatsError{TStatsFailure::TooLarge, 200, 0,
                       "The broker's answer of " + std::to_string(Size) + " bytes is larger than the limit of " +
                           std::to_string(Cap) + " bytes."};
}

// Size and nesting are checked before the parser sees the body, so that no
// answer can make it build more than the caps allow.
TJson Parse(std::string_view Body, const TDecodeLimits& Limits) {
    if (Body.size() > Limits.MaxBodyBytes)
        throw ETooLarge{Body.size(), Limits.MaxBodyBytes};
    if (!NestingWithin(Body, Limits.MaxDepth))
        throw EJsonField("arrays and objects nest deeper than " + std::to_string(Limits.MaxDepth) + " levels");
    try {
        return TJson::parse(Body.begin(), Body.end());
    } catch (const TJson::parse_error& e) {
        if (Body.empty())
            throw EJsonField("the answer is empty");
        // The parser's own message quotes the input; the position is enough
        // and keeps stray bytes out of a text the operator will see.
        throw EJsonField("the answer is not valid JSON (error at byte " + std::to_string(e.byte) + ")");
    } catch (const TJson::out_of_range&) {
        throw EJsonField("the answer holds a number beyond any numeric range");
    }
}

// Runs one decoder body and turns the decoder's own failures into results;
// nothing thrown inside leaves this function.
template <class T, class F> TStatsResult<T> Decode(std::string_view Body, const TDecodeLimits& Limits, F&& Read) {
    try {
        TJson doc = Parse(Body, Limits);
        TJsonPath root;
        RequireObject(doc, root);
        return Read(doc, root);
    } catch (const ETooLarge& e) {
        return TooLarge(e.Size, e.Cap);
    } catch (const EJsonField& e) {
        return Malformed(e.what());
    } catch (const std::bad_alloc&) {
        return Malformed("the answer does not fit into memory");
    } catch (const std::exception& e) {
        return Malformed(std::string("the answer could not be read (") + e.what() + ")");
    }
}

int32_t Count(const TJson& Obj, std::string_view Key, const TJsonPath& At) {
    return static_cast<int32_t>(IntMember(Obj, Key, 0, Int32Max, At));
}

int16_t Code16(const TJson& Obj, std::string_view Key, const TJsonPath& At) {
    return static_cast<int16_t>(IntMember(Obj, Key, Int16Min, Int16Max, At));
}

} // namespace

bool NestingWithin(std::string_view Body, int MaxDepth) {
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < Body.size(); ++i) {
        char c = Body[i];
        if (inString) {
            if (c == '\\')
                ++i; // the escaped character cannot end the string
            else if (c == '"')
                inString = false;
            continue;
        }
        switch (c) {
        case '"':
            inString = true;
            break;
        case '[':
        case '{':
            if (++depth > MaxDepth)
                return false;
            break;
        case ']':
        case '}':
            --depth;
            break;
        default:
            break;
        }
    }
    return true;
}

TStatsResult<TBrokerInfo> DecodeBrokerInfo(std::string_view Body, const TDecodeLimits& Limits) {
    return Decode<TBrokerInfo>(Body, Limits, [](const TJson& doc, const TJsonPath& at) {
        TBrokerInfo info;
        info.Name = TextMember(doc, "name", at);
        info.Protocol = static_cast<int32_t>(IntMember(doc, "protocol", 1, Int32Max, at));
        return info;
    });
}

TStatsResult<THealth> DecodeHealth(std::string_view Body, const TDecodeLimits& Limits) {
    return Decode<THealth>(Body, Limits, [](const TJson& doc, const TJsonPath& at) {
        THealth health;
        const std::string& state = TextMember(doc, "state", at);
        if (state == "healthy")
            health.State = THealthState::Healthy;
        else if (state == "warning")
            health.State = THealthState::Warning;
        else
            throw EJsonField(at.Member("state").Text() + " must be \"healthy\" or \"warning\"");
        if (const TJson* text = FindMember(doc, "text", at))
            health.Text = RequireText(*text, at.Member("text"));
        return health;
    });
}

TStatsResult<std::vector<TComponentStats>> DecodeComponents(std::string_view Body, const TDecodeLimits& Limits) {
    return Decode<std::vector<TComponentStats>>(Body, Limits, [](const TJson& doc, const TJsonPath& at) {
        TJsonPath listAt = at.Member("components");
        const auto& rows = RequireArray(RequireMember(doc, "components", at), listAt);
        std::vector<TComponentStats> out;
        out.reserve(rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            TJsonPath rowAt = listAt.Element(i);
            const TJson& row = rows[i];
            RequireObject(row, rowAt);
            TComponentStats& c = out.emplace_back();
            c.Name = TextMember(row, "name", rowAt, true);
            c.Active = Count(row, "active", rowAt);
            c.Maximum = Count(row, "maximum", rowAt);
            c.Requests = Count(row, "requests", rowAt);
            c.Queued = Count(row, "queued", rowAt);
            c.QueueTime = Count(row, "queueTime", rowAt);
            c.ServiceTime = Count(row, "serviceTime", rowAt);
        }
        return out;
    });
}

TStatsResult<std::vector<TServiceStats>> DecodeServices(std::string_view Body, const TDecodeLimits& Limits) {
    return Decode<std::vector<TServiceStats>>(Body, Limits, [](const TJson& doc, const TJsonPath& at) {
        TJsonPath listAt = at.Member("services");
        const auto& rows = RequireArray(RequireMember(doc, "services", at), listAt);
        std::vector<TServiceStats> out;
        out.reserve(rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            TJsonPath rowAt = listAt.Element(i);
            const TJson& row = rows[i];
            RequireObject(row, rowAt);
            TServiceStats& s = out.emplace_back();
            s.Name = TextMember(row, "name", rowAt, true);
            s.Requests = Count(row, "requests", rowAt);
            s.Queued = Count(row, "queued", rowAt);
            s.QueueTime = Count(row, "queueTime", rowAt);
            s.ServiceTime = Count(row, "serviceTime", rowAt);
        }
        return out;
    });
}

TStatsResult<std::vector<TParamInfo>> DecodeParameters(std::string_view Body, const TDecodeLimits& Limits) {
    return Decode<std::vector<TParamInfo>>(Body, Limits, [](const TJson& doc, const TJsonPath& at) {
        TJsonPath listAt = at.Member("parameters");
        const auto& rows = RequireArray(RequireMember(doc, "parameters", at), listAt);
        std::vector<TParamInfo> out;
        out.reserve(rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            TJsonPath rowAt = listAt.Element(i);
            const TJson& row = rows[i];
            RequireObject(row, rowAt);
            TParamInfo& p = out.emplace_back();
            p.Name = TextMember(row, "name", rowAt, true);
            p.DataType = Code16(row, "dataType", rowAt);
            p.Mode = Code16(row, "mode", rowAt);
            p.Precision = Code16(row, "precision", rowAt);
            p.Scale = Code16(row, "scale", rowAt);
        }
        return out;
    });
}

TStatsResult<TComponentDetails> DecodeComponentDetails(std::string_view Body, const TDecodeLimits& Limits) {
    return Decode<TComponentDetails>(Body, Limits, [](const TJson& doc, const TJsonPath& at) {
        TComponentDetails d;
        d.Name = TextMember(doc, "name", at, true);
        d.InvokedBy = TextMember(doc, "invokedBy", at);
        d.Active = Count(doc, "active", at);
        d.Maximum = Count(doc, "maximum", at);
        d.Requests = Count(doc, "requests", at);
        d.Queued = Count(doc, "queued", at);
        d.QueueTime = Count(doc, "queueTime", at);
        d.ServiceTime = Count(doc, "serviceTime", at);
        return d;
    });
}

TStatsResult<TActionDone> DecodeActionDone(std::string_view Body, const TDecodeLimits& Limits) {
    return Decode<TActionDone>(Body, Limits, [](const TJson& doc, const TJsonPath& at) {
        TActionDone done;
        done.Component = TextMember(doc, "component", at, true);
        done.Action = TextMember(doc, "action", at, true);
        done.Value = static_cast<int32_t>(IntMember(doc, "value", -Int32Max - 1, Int32Max, at));
        return done;
    });
}

TStatsResult<TVersionInfo> DecodeVersion(std::string_view Body, const TDecodeLimits& Limits) {
    return Decode<TVersionInfo>(Body, Limits, [](const TJson& doc, const TJsonPath& at) {
        TVersionInfo v;
        v.Found = RequireBool(RequireMember(doc, "found", at), at.Member("found"));
        if (v.Found)
            v.Version = TextMember(doc, "version", at);
        return v;
    });
}

TStatsError DecodeErrorAnswer(int HttpStatus, std::string_view Body, const TDecodeLimits& Limits) {
    struct TErrorBody {
        int32_t Code = 0;
        std::string Text;
    };
    TStatsError err{TStatsFailure::BrokerError, HttpStatus, HttpStatus != 0 ? HttpStatus : -1, {}};
    std::string fallback = "The broker answered with HTTP status " + std::to_string(HttpStatus);
    auto decoded = Decode<TErrorBody>(Body, Limits, [](const TJson& doc, const TJsonPath& at) {
        TJsonPath errAt = at.Member("error");
        const TJson& e = RequireMember(doc, "error", at);
        TErrorBody out;
        out.Code = static_cast<int32_t>(IntMember(e, "code", -Int32Max - 1, Int32Max, errAt));
        out.Text = TextMember(e, "text", errAt);
        return out;
    });
    if (!decoded.Ok()) {
        err.Text = fallback + " and no readable error text.";
        return err;
    }
    if (decoded.Value().Code != 0)
        err.Code = decoded.Value().Code;
    err.Text = std::move(decoded.Value().Text);
    if (err.Text.empty())
        err.Text = fallback + " and an empty error text.";
    return err;
}

} // namespace wdx::statshost
