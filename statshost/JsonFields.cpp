#include "statshost/JsonFields.h"

#include <cmath>
#include <cstdio>

namespace wdx::statshost {

namespace {

std::string Found(const TJson& Value) {
    switch (Value.type()) {
    case TJson::value_t::null:
        return "null";
    case TJson::value_t::boolean:
        return Value.get<bool>() ? "true" : "false";
    case TJson::value_t::string:
        return "a text";
    case TJson::value_t::array:
        return "an array";
    case TJson::value_t::object:
        return "an object";
    case TJson::value_t::number_integer:
        return std::to_string(Value.get<int64_t>());
    case TJson::value_t::number_unsigned:
        return std::to_string(Value.get<uint64_t>());
    case TJson::value_t::number_float: {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.17g", Value.get<double>());
        return buf;
    }
    default:
        return "a value of no JSON type";
    }
}

[[noreturn]] void Fail(const TJsonPath& At, const std::string& What, const TJson* Value) {
    std::string msg = At.Text() + " " + What;
    if (Value)
        msg += " (found " + Found(*Value) + ")";
    throw EJsonField(msg);
}

} // namespace

void TJsonPath::Append(std::string& Out) const {
    if (FParent)
        FParent->Append(Out);
    if (FIsIndex) {
        Out += '[';
        Out += std::to_string(FIndex);
        Out += ']';
    } else if (!FKey.empty()) {
        if (!Out.empty())
            Out += '.';
        Out += FKey;
    }
}

std::string TJsonPath::Text() const {
    std::string out;
    Append(out);
    return out.empty() ? "the answer" : out;
}

void RequireObject(const TJson& Value, const TJsonPath& At) {
    if (!Value.is_object())
        Fail(At, "must be an object", &Value);
}

const TJson* FindMember(const TJson& Obj, std::string_view Key, const TJsonPath& At) {
    RequireObject(Obj, At);
    auto it = Obj.find(Key);
    return it == Obj.end() ? nullptr : &*it;
}

const TJson& RequireMember(const TJson& Obj, std::string_view Key, const TJsonPath& At) {
    const TJson* v = FindMember(Obj, Key, At);
    if (!v)
        Fail(At.Member(Key), "is missing", nullptr);
    return *v;
}

const TJson::array_t& RequireArray(const TJson& Value, const TJsonPath& At) {
    if (!Value.is_array())
        Fail(At, "must be an array", &Value);
    return Value.get_ref<const TJson::array_t&>();
}

int64_t RequireInt(const TJson& Value, int64_t Lo, int64_t Hi, const TJsonPath& At) {
    auto range = [&] {
        return "must be an integer from " + std::to_string(Lo) + " to " + std::to_string(Hi);
    };
    if (Value.is_number_unsigned()) {
        // Read as unsigned first: a value above the signed range must not
        // turn negative on the way in.
        uint64_t u = Value.get<uint64_t>();
        if (Hi < 0 || u > static_cast<uint64_t>(Hi) || static_cast<int64_t>(u) < Lo)
            Fail(At, range(), &Value);
        return static_cast<int64_t>(u);
    }
    if (Value.is_number_integer()) {
        int64_t s = Value.get<int64_t>();
        if (s < Lo || s > Hi)
            Fail(At, range(), &Value);
        return s;
    }
    Fail(At, range(), &Value);
}

const std::string& RequireText(const TJson& Value, const TJsonPath& At, bool NonEmpty) {
    if (!Value.is_string())
        Fail(At, "must be a text", &Value);
    const auto& s = Value.get_ref<const std::string&>();
    if (NonEmpty && s.empty())
        Fail(At, "must not be empty", nullptr);
    if (s.find('\0') != std::string::npos)
        Fail(At, "must not hold a NUL character", nullptr);
    return s;
}

bool RequireBool(const TJson& Value, const TJsonPath& At) {
    if (!Value.is_boolean())
        Fail(At, "must be true or false", &Value);
    return Value.get<bool>();
}

int64_t IntMember(const TJson& Obj, std::string_view Key, int64_t Lo, int64_t Hi, const TJsonPath& At) {
    return RequireInt(RequireMember(Obj, Key, At), Lo, Hi, At.Member(Key));
}

const std::string& TextMember(const TJson& Obj, std::string_view Key, const TJsonPath& At, bool NonEmpty) {
    return RequireText(RequireMember(Obj, Key, At), At.Member(Key), NonEmpty);
}

} // namespace wdx::statshost
